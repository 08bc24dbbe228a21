#pragma once

#include "support/http_transport.h"

#include <QObject>

class QNetworkAccessManager;

namespace tovalit {

// HttpTransport over QNetworkAccessManager. Lives on, and is used from, the
// thread that created it.
class NetworkHttpTransport final : public QObject, public HttpTransport {
    Q_OBJECT
public:
    explicit NetworkHttpTransport(QObject *parent = nullptr);
    ~NetworkHttpTransport() override;

    QCoro::Task<HttpResponse> send(HttpRequest request) override;

private:
    QNetworkAccessManager *m_manager;
};

} // namespace tovalit
