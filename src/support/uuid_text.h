#pragma once

#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

// UUIDs as text: record identifiers are stored upper-case, request
// identifiers on the wire are lower-case; neither has braces.
namespace tovalit::uuidtext {

QString upper(const QUuid &id);
QString lower(const QUuid &id);
QString newUpper();
QString newLower();
// Reads "8-4-4-4-12" hexadecimal text in either case; nothing for anything
// else (braces, missing dashes, other lengths).
std::optional<QUuid> parse(QStringView text);

} // namespace tovalit::uuidtext
