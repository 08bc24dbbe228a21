#pragma once

#include "models/volcengine_speech_open_api_configuration.h"
#include "support/clock.h"
#include "support/http_transport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>

namespace tovalit {

// Turns one speech OpenAPI call (action, version, body, content type) into a
// signed POST: HMAC-SHA256 over a canonical request, keyed through the
// day / region / service / "request" chain. Pure apart from reading the
// clock once per request, so the scope day and X-Date always agree.
class VolcengineOpenAPISigner {
public:
    // `host` is the OpenAPI host name, optionally with ":port", without
    // scheme or path; it is used for the URL and the signed "host:" line.
    VolcengineOpenAPISigner(VolcengineSpeechOpenAPIConfiguration configuration, QString host,
                            Clock nowProvider = systemClock());

    // The finished request: https://host/?Action=…&Version=…, the body
    // unchanged, 30 s timeout, headers Content-Type, X-Date,
    // X-Content-Sha256 (sent empty) and Authorization in that order.
    // Throws HttpTransportError (invalid request) when no host is set or the
    // host cannot form a URL, so a bad setting fails like an unreachable
    // server.
    HttpRequest signedRequest(const QString &action, const QString &version, const QByteArray &body,
                              const QString &contentType) const;

    // The signed texts of a request made at `instant`, for diagnostics and
    // for checking the scheme line by line. Throw like signedRequest().
    QByteArray canonicalRequest(const QString &action, const QString &version, QByteArrayView body,
                                const QString &contentType, const QDateTime &instant) const;
    QByteArray stringToSign(const QString &action, const QString &version, QByteArrayView body,
                            const QString &contentType, const QDateTime &instant) const;

    // "yyyyMMddTHHmmssZ" and "yyyyMMdd" in UTC, ASCII digits whatever the
    // user's locale.
    static QString timestamp(const QDateTime &instant);
    static QString day(const QDateTime &instant);
    // The form of the host used on the wire and in the signature (QUrl
    // lower-cases names and encodes international ones), or nothing when
    // the text is empty or is not a plain host[:port].
    static std::optional<QString> usableHost(const QString &host);

    static constexpr const char *region = "cn-north-1";
    static constexpr const char *service = "speech_saas_prod";
    static constexpr const char *signedHeaders = "content-type;host;x-content-sha256;x-date";

private:
    QString requireHost() const;
    static QString credentialScope(const QString &day);
    static QString queryString(const QString &action, const QString &version);
    static QByteArray sha256Hex(QByteArrayView bytes);
    static QByteArray hmac(QByteArrayView secret, QByteArrayView message);
    static QByteArray signature(QByteArrayView secret, const QString &day,
                                QByteArrayView stringToSign);
    static QByteArray buildCanonicalRequest(const QString &query, const QString &contentType,
                                            const QString &host, const QString &timestamp,
                                            QByteArrayView body);
    static QByteArray buildStringToSign(const QString &timestamp, const QString &scope,
                                        QByteArrayView canonicalRequest);

    VolcengineSpeechOpenAPIConfiguration m_configuration;
    QString m_host;
    Clock m_nowProvider;
};

} // namespace tovalit
