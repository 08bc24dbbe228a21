#pragma once

#include <QString>
#include <QUrl>

namespace tovalit {

// The endpoint and credentials of every chat-completions client.
struct VellupStructuredFormatterConfiguration {
    QUrl chatURL;
    // Sent as the body member "model"; must not be empty.
    QString model;
    // Sent as "X-App-Id" when not blank.
    QString appID;
    // Sent as "X-Agent-Id" when not blank.
    QString agentID;
    // The bearer key, sent as "Authorization" when not blank.
    QString secretKey;

    bool operator==(const VellupStructuredFormatterConfiguration &) const = default;
};

} // namespace tovalit
