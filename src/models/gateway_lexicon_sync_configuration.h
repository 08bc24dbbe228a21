#pragma once

#include <QString>
#include <QUrl>

namespace tovalit {

// Routes the lexicon synchronisation through the gateway: the endpoint and
// the session's access token, sent as a bearer credential.
struct GatewayLexiconSyncConfiguration {
    QUrl endpointURL;
    QString accessToken;

    bool operator==(const GatewayLexiconSyncConfiguration &) const = default;
};

} // namespace tovalit
