#include "platform/on_device_speech_engine.h"

namespace tovalit {

OnDeviceSpeechError::OnDeviceSpeechError(QString detail)
    : m_detail(std::move(detail)) {}

QString OnDeviceSpeechError::localizedDescription() const {
    return joinedWithDetail(QStringLiteral("本地语音识别出错"), m_detail);
}

} // namespace tovalit
