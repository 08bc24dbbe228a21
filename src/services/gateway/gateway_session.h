#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace tovalit {

// A device session issued by the gateway.
struct GatewaySession {
    QString sessionID;
    QString deviceID;
    QString accessToken;
    QDateTime accessTokenExpiresAt;
    QString refreshToken;
    QDateTime refreshTokenExpiresAt;

    // More than `graceSeconds` left before the token expires.
    bool hasUsableAccessToken(const QDateTime &now, double graceSeconds) const;
    bool hasUsableRefreshToken(const QDateTime &now, double graceSeconds) const;

    // The keys "sessionId", "deviceId", "accessToken",
    // "accessTokenExpiresAt", "refreshToken", "refreshTokenExpiresAt", all
    // required; dates are whole-second ISO-8601 ("Z" or an offset; a
    // fraction is refused). Other keys are ignored.
    static std::optional<GatewaySession> fromJson(const QJsonObject &object);
    // Compact JSON in the key order above, dates in UTC with "Z": the form
    // kept in the keychain.
    QByteArray toCompactJson() const;

    bool operator==(const GatewaySession &) const = default;
};

// The body of a device registration.
struct GatewayRegistrationRequest {
    QString deviceId;
    QString product;
    QString platform;
    QString platformVersion;
    QString appVersion;
    QString buildNumber;
    QString locale;

    // Compact JSON, members in declaration order.
    QByteArray toCompactJson() const;

    bool operator==(const GatewayRegistrationRequest &) const = default;
};

// The body of a session refresh.
struct GatewayRefreshRequest {
    QString refreshToken;
    QString appVersion;
    QString buildNumber;
    QString locale;
    QString platformVersion;

    QByteArray toCompactJson() const;

    bool operator==(const GatewayRefreshRequest &) const = default;
};

} // namespace tovalit
