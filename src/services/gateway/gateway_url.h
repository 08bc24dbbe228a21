#pragma once

#include <QStringView>
#include <QUrl>

namespace tovalit {

// `path` below the base address, the base's own path kept in front: one
// leading "/" of `path` is dropped and a trailing "/" of the base does not
// double the separator ("http://h/gw/" + "/api/x" → "http://h/gw/api/x").
// Query and fragment of the base are left as they are.
QUrl gatewayURL(const QUrl &baseURL, QStringView path);

} // namespace tovalit
