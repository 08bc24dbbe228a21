#include "services/learning/volcengine_speech_lexicon_sync_error.h"

#include "models/lexicon_decoding_error.h"
#include "support/http_transport.h"

namespace tovalit {

VolcengineSpeechLexiconSyncError::VolcengineSpeechLexiconSyncError(Kind kind, int statusCode,
                                                                   QString message)
    : m_kind(kind)
    , m_statusCode(statusCode)
    , m_message(std::move(message)) {}

VolcengineSpeechLexiconSyncError VolcengineSpeechLexiconSyncError::requestFailed(int statusCode,
                                                                                 QString message) {
    return VolcengineSpeechLexiconSyncError(Kind::requestFailed, statusCode, std::move(message));
}

VolcengineSpeechLexiconSyncError VolcengineSpeechLexiconSyncError::missingCredentials() {
    return VolcengineSpeechLexiconSyncError(Kind::missingCredentials);
}

VolcengineSpeechLexiconSyncError VolcengineSpeechLexiconSyncError::invalidAppID() {
    return VolcengineSpeechLexiconSyncError(Kind::invalidAppID);
}

VolcengineSpeechLexiconSyncError VolcengineSpeechLexiconSyncError::invalidResponse() {
    return VolcengineSpeechLexiconSyncError(Kind::invalidResponse);
}

QString VolcengineSpeechLexiconSyncError::localizedDescription() const {
    switch (m_kind) {
    case Kind::requestFailed:
        return QStringLiteral("火山云词库同步失败（") + QString::number(m_statusCode) +
               QStringLiteral("）：") + m_message;
    case Kind::missingCredentials:
        return QStringLiteral("火山云热词同步未配置 AK/SK。");
    case Kind::invalidAppID:
        return QStringLiteral("Vellup语音 AppID 无效，无法同步个人词库。");
    case Kind::invalidResponse:
        return QStringLiteral("火山云词库同步返回了无法解析的结果。");
    }
    return {};
}

bool VolcengineSpeechLexiconSyncError::operator==(
    const VolcengineSpeechLexiconSyncError &other) const {
    if (m_kind != other.m_kind)
        return false;
    return m_kind != Kind::requestFailed ||
           (m_statusCode == other.m_statusCode && m_message == other.m_message);
}

QString describeLexiconSyncFailure(const std::exception &error) {
    if (const auto *decoding = dynamic_cast<const LexiconDecodingError *>(&error)) {
        const QString what =
            decoding->problem() == LexiconDecodingError::Problem::NotAnObject
                ? QStringLiteral("服务器的回复不完整或不是有效的 JSON")
                : QStringLiteral("服务器的回复有误（") + decoding->detail() + QStringLiteral("）");
        return QStringLiteral("个人词库同步失败：") + what +
               QStringLiteral("。本地词条未受影响，可稍后点击“立即同步”重试。");
    }
    if (const auto *transport = dynamic_cast<const HttpTransportError *>(&error)) {
        switch (transport->kind()) {
        case HttpTransportError::Kind::TimedOut:
            return QStringLiteral("个人词库同步失败：网络连接超时，服务器没有及时回应。请检查网络后"
                                  "点击“立即同步”重试。");
        case HttpTransportError::Kind::NotConnected:
            return lexiconSyncConnectionLostMessage();
        case HttpTransportError::Kind::HostNotFound:
        case HttpTransportError::Kind::SecureConnectionFailed:
        case HttpTransportError::Kind::Other:
            return QStringLiteral(
                "个人词库同步失败：网络连接失败。请检查网络后点击“立即同步”重试。");
        case HttpTransportError::Kind::InvalidRequest:
        case HttpTransportError::Kind::Cancelled:
            break;
        }
    }
    return describeException(error);
}

QString lexiconSyncConnectionLostMessage() {
    return QStringLiteral("个人词库同步失败：无法连接服务器，或连接在收到回复前中断。请检查网络后"
                          "点击“立即同步”重试。");
}

QString describeLexiconSyncFailure(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &exception) {
        return describeLexiconSyncFailure(exception);
    } catch (...) {
        return describeError(std::current_exception());
    }
}

} // namespace tovalit
