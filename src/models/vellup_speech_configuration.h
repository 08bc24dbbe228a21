#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tovalit {

// Everything a recogniser needs to connect, either straight to the speech
// service or through the gateway.
struct VellupSpeechConfiguration {
    QString appID;
    QString accessToken;
    QString resourceID;
    // Not sent by the streaming recogniser.
    QString secretKey;
    // Locale identifier for recognition; not sent by the streaming recogniser.
    QString language;
    std::optional<QUrl> gatewayBaseURL;
    std::optional<QString> gatewaySessionToken;

    // Both gateway fields present; an empty token still counts.
    bool usesGateway() const {
        return gatewayBaseURL.has_value() && gatewaySessionToken.has_value();
    }

    bool operator==(const VellupSpeechConfiguration &) const = default;
};

} // namespace tovalit
