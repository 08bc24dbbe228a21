#include "services/speech/apple_speech_transcriber_error.h"

namespace tovalit {

AppleSpeechTranscriberError AppleSpeechTranscriberError::finalizationTimedOut(QString partialText) {
    AppleSpeechTranscriberError error(Kind::finalizationTimedOut);
    error.m_partialText = std::move(partialText);
    return error;
}

QString AppleSpeechTranscriberError::localizedDescription() const {
    switch (m_kind) {
    case Kind::finalizationTimedOut:
        return QStringLiteral("等待最终转写结果超时，已保留最后一版实时文本。");
    case Kind::speechPermissionDenied:
        return QStringLiteral("未获得语音识别权限。");
    case Kind::recognizerUnavailable:
        return QStringLiteral("当前语音识别服务不可用。");
    }
    return {};
}

} // namespace tovalit
