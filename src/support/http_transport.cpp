#include "support/http_transport.h"

namespace tovalit {

std::optional<QByteArray> HttpResponse::header(QByteArrayView name) const {
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

HttpTransportError::HttpTransportError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail)) {}

QString HttpTransportError::localizedDescription() const {
    // The English phrases match what the platform's own networking says, so
    // recovery code and logs recognise them ("Socket is not connected" in
    // particular makes the gateway recovery retry).
    QString text;
    switch (m_kind) {
    case Kind::InvalidRequest:
        text = QStringLiteral("Invalid request");
        break;
    case Kind::TimedOut:
        text = QStringLiteral("The request timed out.");
        break;
    case Kind::NotConnected:
        text = QStringLiteral("Socket is not connected");
        break;
    case Kind::HostNotFound:
        text = QStringLiteral("A server with the specified hostname could not be found.");
        break;
    case Kind::SecureConnectionFailed:
        text = QStringLiteral("A TLS error caused the secure connection to fail.");
        break;
    case Kind::Cancelled:
        text = QStringLiteral("cancelled");
        break;
    case Kind::Other:
        text = QStringLiteral("The network connection failed.");
        break;
    }
    return m_detail.isEmpty() ? text : text + QStringLiteral(" (") + m_detail + u')';
}

void HttpTransport::validate(const HttpRequest &request) {
    const QString scheme = request.url.scheme().toLower();
    if (!request.url.isValid() || (scheme != u"http" && scheme != u"https") ||
        request.url.host().isEmpty()) {
        throw HttpTransportError(HttpTransportError::Kind::InvalidRequest,
                                 QStringLiteral("unsupported URL: ") +
                                     request.url.toDisplayString());
    }
    const auto breaksLine = [](const QByteArray &text) {
        return text.contains('\r') || text.contains('\n');
    };
    for (const auto &[name, value] : request.headers) {
        if (name.isEmpty() || breaksLine(name) || breaksLine(value)) {
            throw HttpTransportError(HttpTransportError::Kind::InvalidRequest,
                                     QStringLiteral("header with a line break: ") +
                                         QString::fromLatin1(name));
        }
    }
}

} // namespace tovalit
