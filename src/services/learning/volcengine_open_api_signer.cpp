#include "services/learning/volcengine_open_api_signer.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QUrl>

namespace tovalit {

namespace {

constexpr std::chrono::seconds requestTimeout{30};

QByteArray utf8(const QString &text) {
    return text.toUtf8();
}

} // namespace

VolcengineOpenAPISigner::VolcengineOpenAPISigner(VolcengineSpeechOpenAPIConfiguration configuration,
                                                 QString host, Clock nowProvider)
    : m_configuration(std::move(configuration))
    , m_host(std::move(host))
    , m_nowProvider(nowProvider ? std::move(nowProvider) : systemClock()) {}

HttpRequest VolcengineOpenAPISigner::signedRequest(const QString &action, const QString &version,
                                                   const QByteArray &body,
                                                   const QString &contentType) const {
    const QString host = requireHost();
    const QDateTime instant = m_nowProvider();
    const QString scope = credentialScope(day(instant));
    const QByteArray signatureHex =
        signature(utf8(m_configuration.secretAccessKey), day(instant),
                  stringToSign(action, version, body, contentType, instant));
    const QByteArray authorization = "HMAC-SHA256 Credential=" + utf8(m_configuration.accessKeyID) +
                                     '/' + utf8(scope) + ", SignedHeaders=" + signedHeaders +
                                     ", Signature=" + signatureHex;

    HttpRequest request;
    request.method = "POST";
    request.url = QUrl(QStringLiteral("https://") + host + QStringLiteral("/?") +
                       queryString(action, version));
    request.body = body;
    request.timeout = requestTimeout;
    // The server checks the signature over exactly these values, so the
    // order and the empty X-Content-Sha256 (not the payload hash) matter.
    request.headers = {
        {"Content-Type", utf8(contentType)},
        {"X-Date", utf8(timestamp(instant))},
        // Empty but not null: Qt drops a header whose value is null.
        {"X-Content-Sha256", QByteArray("")},
        {"Authorization", authorization},
    };
    return request;
}

QByteArray VolcengineOpenAPISigner::canonicalRequest(const QString &action, const QString &version,
                                                     QByteArrayView body,
                                                     const QString &contentType,
                                                     const QDateTime &instant) const {
    return buildCanonicalRequest(queryString(action, version), contentType, requireHost(),
                                 timestamp(instant), body);
}

QByteArray VolcengineOpenAPISigner::stringToSign(const QString &action, const QString &version,
                                                 QByteArrayView body, const QString &contentType,
                                                 const QDateTime &instant) const {
    return buildStringToSign(timestamp(instant), credentialScope(day(instant)),
                             canonicalRequest(action, version, body, contentType, instant));
}

QString VolcengineOpenAPISigner::timestamp(const QDateTime &instant) {
    const QDateTime utc = instant.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    return QString::asprintf("%04d%02d%02dT%02d%02d%02dZ", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second());
}

QString VolcengineOpenAPISigner::day(const QDateTime &instant) {
    const QDate date = instant.toUTC().date();
    return QString::asprintf("%04d%02d%02d", date.year(), date.month(), date.day());
}

std::optional<QString> VolcengineOpenAPISigner::usableHost(const QString &host) {
    if (host.isEmpty())
        return std::nullopt;
    // Anything beyond host[:port] (a scheme, a path, a query, credentials,
    // blanks or line breaks) would either change the request or make the
    // signed host differ from the one sent.
    for (const QChar character : host) {
        if (character.isSpace() || character.unicode() < 0x20 || character.unicode() == 0x7F ||
            character == u'/' || character == u'?' || character == u'#' || character == u'@' ||
            character == u'\\')
            return std::nullopt;
    }
    const QUrl url(QStringLiteral("https://") + host + u'/', QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.path() != u"/" ||
        url.hasQuery() || url.hasFragment())
        return std::nullopt;
    return url.authority(QUrl::FullyEncoded);
}

QString VolcengineOpenAPISigner::requireHost() const {
    if (m_host.isEmpty()) {
        throw HttpTransportError(HttpTransportError::Kind::InvalidRequest,
                                 QStringLiteral("未设置火山云 OpenAPI 主机"));
    }
    const auto host = usableHost(m_host);
    if (!host) {
        throw HttpTransportError(HttpTransportError::Kind::InvalidRequest,
                                 QStringLiteral("火山云 OpenAPI 主机无效：") + m_host);
    }
    return *host;
}

QString VolcengineOpenAPISigner::credentialScope(const QString &day) {
    return day + u'/' + QLatin1String(region) + u'/' + QLatin1String(service) +
           QStringLiteral("/request");
}

QString VolcengineOpenAPISigner::queryString(const QString &action, const QString &version) {
    return QStringLiteral("Action=") + action + QStringLiteral("&Version=") + version;
}

QByteArray VolcengineOpenAPISigner::sha256Hex(QByteArrayView bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray VolcengineOpenAPISigner::hmac(QByteArrayView secret, QByteArrayView message) {
    return QMessageAuthenticationCode::hash(message.toByteArray(), secret.toByteArray(),
                                            QCryptographicHash::Sha256);
}

QByteArray VolcengineOpenAPISigner::signature(QByteArrayView secret, const QString &day,
                                              QByteArrayView stringToSign) {
    const QByteArray dayKey = hmac(secret, utf8(day));
    const QByteArray regionKey = hmac(dayKey, region);
    const QByteArray serviceKey = hmac(regionKey, service);
    const QByteArray requestKey = hmac(serviceKey, "request");
    return hmac(requestKey, stringToSign).toHex();
}

QByteArray VolcengineOpenAPISigner::buildCanonicalRequest(const QString &query,
                                                          const QString &contentType,
                                                          const QString &host,
                                                          const QString &timestamp,
                                                          QByteArrayView body) {
    const QByteArray canonicalHeaders = "content-type:" + utf8(contentType) + '\n' +
                                        "host:" + utf8(host) + '\n' + "x-content-sha256:" + '\n' +
                                        "x-date:" + utf8(timestamp) + '\n';
    return QByteArray("POST\n/\n") + utf8(query) + '\n' + canonicalHeaders + '\n' + signedHeaders +
           '\n' + sha256Hex(body);
}

QByteArray VolcengineOpenAPISigner::buildStringToSign(const QString &timestamp,
                                                      const QString &scope,
                                                      QByteArrayView canonicalRequest) {
    return "HMAC-SHA256\n" + utf8(timestamp) + '\n' + utf8(scope) + '\n' +
           sha256Hex(canonicalRequest);
}

} // namespace tovalit
