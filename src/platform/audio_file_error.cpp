#include "platform/audio_file_error.h"

namespace tovalit {

AudioFileError::AudioFileError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString AudioFileError::localizedDescription() const {
    switch (m_kind) {
    case Kind::CreateFailed:
        return joinedWithDetail(QStringLiteral("无法创建录音文件"), m_detail);
    case Kind::WriteFailed:
        return joinedWithDetail(QStringLiteral("无法写入录音文件"), m_detail);
    case Kind::OpenFailed:
        return joinedWithDetail(QStringLiteral("无法打开音频文件"), m_detail);
    case Kind::ReadFailed:
        return joinedWithDetail(QStringLiteral("无法读取音频文件"), m_detail);
    case Kind::ConversionFailed:
        return joinedWithDetail(QStringLiteral("无法转换音频格式"), m_detail);
    }
    return {};
}

} // namespace tovalit
