#include "services/gateway/gateway_session.h"

#include "support/iso8601.h"
#include "support/json_text.h"
#include "support/ordered_json.h"

namespace tovalit {

namespace {

bool hasMoreThan(const QDateTime &expiry, const QDateTime &now, double graceSeconds) {
    // Milliseconds as a double: no overflow whatever the dates.
    const double left = (static_cast<double>(expiry.toMSecsSinceEpoch()) -
                         static_cast<double>(now.toMSecsSinceEpoch())) /
                        1000.0;
    return left > graceSeconds;
}

} // namespace

bool GatewaySession::hasUsableAccessToken(const QDateTime &now, double graceSeconds) const {
    return hasMoreThan(accessTokenExpiresAt, now, graceSeconds);
}

bool GatewaySession::hasUsableRefreshToken(const QDateTime &now, double graceSeconds) const {
    return hasMoreThan(refreshTokenExpiresAt, now, graceSeconds);
}

std::optional<GatewaySession> GatewaySession::fromJson(const QJsonObject &object) {
    const auto sessionID = json::string(object, u"sessionId");
    const auto deviceID = json::string(object, u"deviceId");
    const auto accessToken = json::string(object, u"accessToken");
    const auto accessExpiry = json::date(object, u"accessTokenExpiresAt");
    const auto refreshToken = json::string(object, u"refreshToken");
    const auto refreshExpiry = json::date(object, u"refreshTokenExpiresAt");
    if (!sessionID || !deviceID || !accessToken || !accessExpiry || !refreshToken || !refreshExpiry)
        return std::nullopt;
    return GatewaySession{*sessionID,    *deviceID,     *accessToken,
                          *accessExpiry, *refreshToken, *refreshExpiry};
}

QByteArray GatewaySession::toCompactJson() const {
    return json::OrderedObjectWriter()
        .add(u"sessionId", sessionID)
        .add(u"deviceId", deviceID)
        .add(u"accessToken", accessToken)
        .add(u"accessTokenExpiresAt", iso8601::formatUtcSeconds(accessTokenExpiresAt))
        .add(u"refreshToken", refreshToken)
        .add(u"refreshTokenExpiresAt", iso8601::formatUtcSeconds(refreshTokenExpiresAt))
        .compact();
}

QByteArray GatewayRegistrationRequest::toCompactJson() const {
    return json::OrderedObjectWriter()
        .add(u"deviceId", deviceId)
        .add(u"product", product)
        .add(u"platform", platform)
        .add(u"platformVersion", platformVersion)
        .add(u"appVersion", appVersion)
        .add(u"buildNumber", buildNumber)
        .add(u"locale", locale)
        .compact();
}

QByteArray GatewayRefreshRequest::toCompactJson() const {
    return json::OrderedObjectWriter()
        .add(u"refreshToken", refreshToken)
        .add(u"appVersion", appVersion)
        .add(u"buildNumber", buildNumber)
        .add(u"locale", locale)
        .add(u"platformVersion", platformVersion)
        .compact();
}

} // namespace tovalit
