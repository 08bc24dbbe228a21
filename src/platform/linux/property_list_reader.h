#pragma once

#include <QByteArray>
#include <QVariant>

#include <optional>

namespace tovalit {

// Reads an XML property list ("<plist><dict>…"): dict → QVariantMap,
// array → QVariantList, string → QString, integer → qint64, real → double,
// true/false → bool, date → QDateTime (UTC), data → QByteArray. Nothing
// for malformed XML, unknown elements or values that do not read.
std::optional<QVariant> readXmlPropertyList(const QByteArray &bytes);

} // namespace tovalit
