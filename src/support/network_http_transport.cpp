#include "support/network_http_transport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <qcoro/qcoronetworkreply.h>

#include <memory>

namespace tovalit {

namespace {

HttpTransportError::Kind classify(QNetworkReply::NetworkError error) {
    using E = QNetworkReply::NetworkError;
    switch (error) {
    case E::TimeoutError:
    case E::OperationCanceledError: // what Qt reports when the transfer timeout fires
        return HttpTransportError::Kind::TimedOut;
    case E::ConnectionRefusedError:
    case E::RemoteHostClosedError:
    case E::TemporaryNetworkFailureError:
    case E::NetworkSessionFailedError:
    case E::UnknownNetworkError:
    case E::ProxyConnectionRefusedError:
    case E::ProxyConnectionClosedError:
        return HttpTransportError::Kind::NotConnected;
    case E::HostNotFoundError:
    case E::ProxyNotFoundError:
        return HttpTransportError::Kind::HostNotFound;
    case E::SslHandshakeFailedError:
        return HttpTransportError::Kind::SecureConnectionFailed;
    case E::ProtocolUnknownError:
    case E::ProtocolInvalidOperationError:
        return HttpTransportError::Kind::InvalidRequest;
    default:
        return HttpTransportError::Kind::Other;
    }
}

} // namespace

NetworkHttpTransport::NetworkHttpTransport(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this)) {}

NetworkHttpTransport::~NetworkHttpTransport() = default;

QCoro::Task<HttpResponse> NetworkHttpTransport::send(HttpRequest request) {
    validate(request);

    QNetworkRequest networkRequest(request.url);
    networkRequest.setTransferTimeout(static_cast<int>(request.timeout.count()));
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);

    // The reply stays a child of the manager; this transport outlives its
    // requests (it is a long-lived service object).
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
        m_manager->sendCustomRequest(networkRequest, request.method, request.body),
        [](QNetworkReply *finished) { finished->deleteLater(); });
    co_await qCoro(reply.get()).waitForFinished();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        // An HTTP reply, even when Qt flags its status as an error.
        HttpResponse response;
        response.status = status.toInt();
        response.body = reply->readAll();
        for (const auto &pair : reply->rawHeaderPairs())
            response.headers.append(pair);
        co_return response;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError)
        throw HttpTransportError(HttpTransportError::Kind::Other, QStringLiteral("no HTTP status"));
    throw HttpTransportError(classify(error), reply->errorString());
}

} // namespace tovalit
