#include "services/speech/vellup_audio_file_transcriber_error.h"

namespace tovalit {

VellupAudioFileTranscriberError VellupAudioFileTranscriberError::requestFailed(int statusCode,
                                                                               QString message) {
    VellupAudioFileTranscriberError error(Kind::requestFailed);
    error.m_statusCode = statusCode;
    error.m_message = std::move(message);
    return error;
}

QString VellupAudioFileTranscriberError::localizedDescription() const {
    switch (m_kind) {
    case Kind::requestFailed:
        return QStringLiteral("Vellup录音 ASR 请求失败（") + QString::number(m_statusCode) +
               QStringLiteral("）：") + m_message;
    case Kind::missingCredentials:
        return QStringLiteral("Vellup录音 ASR 凭证不完整。");
    case Kind::invalidAudioFile:
        return QStringLiteral("录音文件不可用，无法提交Vellup补偿识别。");
    case Kind::invalidResponse:
        return QStringLiteral("Vellup录音 ASR 返回了无法解析的响应。");
    case Kind::emptyTranscript:
        return QStringLiteral("Vellup录音 ASR 没有返回可用文本。");
    case Kind::unsupportedAudioFormat:
        return QStringLiteral("当前录音文件无法转换为Vellup要求的 16k PCM。");
    }
    return {};
}

bool VellupAudioFileTranscriberError::operator==(
    const VellupAudioFileTranscriberError &other) const {
    if (m_kind != other.m_kind)
        return false;
    return m_kind != Kind::requestFailed ||
           (m_statusCode == other.m_statusCode && m_message == other.m_message);
}

} // namespace tovalit
