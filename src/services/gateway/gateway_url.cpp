#include "services/gateway/gateway_url.h"

namespace tovalit {

QUrl gatewayURL(const QUrl &baseURL, QStringView path) {
    QStringView relative = path;
    if (relative.startsWith(u'/'))
        relative = relative.sliced(1);
    QString joined = baseURL.path(QUrl::FullyEncoded);
    if (!joined.endsWith(u'/'))
        joined += u'/';
    joined += relative;
    QUrl url = baseURL;
    url.setPath(joined, QUrl::TolerantMode);
    return url;
}

} // namespace tovalit
