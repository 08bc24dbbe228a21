#include "services/speech/vellup_streaming_transcriber_error.h"

namespace tovalit {

using Error = VellupStreamingTranscriberError;

Error::VellupStreamingTranscriberError(Kind kind)
    : m_kind(kind) {}

Error Error::unsupportedSerialization(int value) {
    Error error(Kind::unsupportedSerialization);
    error.m_value = value;
    return error;
}

Error Error::unsupportedCompression(int value) {
    Error error(Kind::unsupportedCompression);
    error.m_value = value;
    return error;
}

Error Error::serverError(quint32 code, QString message) {
    Error error(Kind::serverError);
    error.m_code = code;
    error.m_message = std::move(message);
    return error;
}

Error Error::finalizationTimedOut(QString partialText) {
    Error error(Kind::finalizationTimedOut);
    error.m_partialText = std::move(partialText);
    return error;
}

Error Error::streamInterrupted(QString partialText, QString reason) {
    Error error(Kind::streamInterrupted);
    error.m_partialText = std::move(partialText);
    error.m_message = std::move(reason);
    return error;
}

Error Error::connectionClosed(QString text) {
    Error error(Kind::connectionClosed);
    error.m_message = std::move(text);
    return error;
}

Error Error::missingCredentials() {
    return Error(Kind::missingCredentials);
}

Error Error::invalidEndpoint() {
    return Error(Kind::invalidEndpoint);
}

Error Error::connectionTimedOut() {
    return Error(Kind::connectionTimedOut);
}

Error Error::unsupportedAudioFormat() {
    return Error(Kind::unsupportedAudioFormat);
}

Error Error::invalidServerMessage() {
    return Error(Kind::invalidServerMessage);
}

QString Error::localizedDescription() const {
    switch (m_kind) {
    case Kind::unsupportedSerialization:
        return QStringLiteral("Vellup返回了暂不支持的序列化格式：") + QString::number(m_value) +
               QStringLiteral("。");
    case Kind::unsupportedCompression:
        return QStringLiteral("Vellup返回了暂不支持的压缩格式：") + QString::number(m_value) +
               QStringLiteral("。");
    case Kind::serverError:
        return QStringLiteral("Vellup流式 ASR 出错：") + m_message;
    case Kind::finalizationTimedOut:
        return QStringLiteral("等待Vellup最终转写结果超时，已保留最后一版文本。");
    case Kind::streamInterrupted:
        return QStringLiteral("Vellup流式转写中断，已保留最后一版文本：") + m_message;
    case Kind::connectionClosed:
        return QStringLiteral("Vellup连接已关闭：") + m_message;
    case Kind::missingCredentials:
        return QStringLiteral("Vellup流式 ASR 凭证不完整。");
    case Kind::invalidEndpoint:
        return QStringLiteral("Vellup流式 ASR 地址无效。");
    case Kind::connectionTimedOut:
        return QStringLiteral("Vellup流式 ASR 建连超时。");
    case Kind::unsupportedAudioFormat:
        return QStringLiteral("当前麦克风音频无法转换为Vellup要求的 16k PCM。");
    case Kind::invalidServerMessage:
        return QStringLiteral("Vellup返回了无法解析的消息。");
    }
    return {};
}

} // namespace tovalit
