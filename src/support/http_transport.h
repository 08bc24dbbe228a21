#pragma once

#include "support/app_error.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace tovalit {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    HttpHeaders headers;
    QByteArray body;
    // Longest stretch without any bytes moving before the request fails.
    std::chrono::milliseconds timeout{60'000};
};

// Any reply that carries an HTTP status, whatever the status.
struct HttpResponse {
    int status = 0;
    HttpHeaders headers;
    QByteArray body;

    // The first header of that name, compared without case.
    std::optional<QByteArray> header(QByteArrayView name) const;
    bool isSuccess() const { return status >= 200 && status < 300; }
};

// The request never produced an HTTP reply.
class HttpTransportError : public AppError {
public:
    enum class Kind {
        InvalidRequest, // bad URL, or a header that would break the request
        TimedOut,
        NotConnected, // refused, reset or closed: the socket is gone
        HostNotFound,
        SecureConnectionFailed,
        Cancelled,
        Other,
    };
    HttpTransportError(Kind kind, QString detail);
    Kind kind() const { return m_kind; }
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

// Request in; status, headers and body out. Every network client takes one,
// so tests can point it at a stand-in server or replace it outright.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // Throws HttpTransportError when no HTTP reply arrives.
    virtual QCoro::Task<HttpResponse> send(HttpRequest request) = 0;

    // Refuses what must never go on the wire: header names or values with
    // CR or LF (a pasted key with a trailing newline would otherwise inject
    // headers), and URLs that are not absolute http(s).
    static void validate(const HttpRequest &request);
};

} // namespace tovalit
