#include "platform/audio_input.h"

namespace tovalit {

AudioInputError::AudioInputError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString AudioInputError::localizedDescription() const {
    switch (m_kind) {
    case Kind::ServerUnavailable:
        return joinedWithDetail(QStringLiteral("无法连接系统声音服务"), m_detail);
    case Kind::NoInputDevice:
        return QStringLiteral("没有可用的麦克风。");
    case Kind::StartFailed:
        return joinedWithDetail(QStringLiteral("无法开始录音"), m_detail);
    }
    return {};
}

} // namespace tovalit
