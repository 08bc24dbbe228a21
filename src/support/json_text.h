#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// JSON as the application stores and sends it: keys sorted (Qt keeps object
// members ordered), optionals omitted rather than null, dates as whole-second
// ISO-8601 UTC text.
namespace tovalit::json {

QByteArray pretty(const QJsonObject &object);
QByteArray pretty(const QJsonArray &array);
QByteArray compact(const QJsonObject &object);
QByteArray compact(const QJsonArray &array);

// QJsonDocument::fromJson for text from outside (replies, stored files):
// an escape of an unpaired surrogate ("\ud800" without its partner) reads
// as U+FFFD, so that every string read is valid UTF-16 and can be written
// as UTF-8 again. Errors are reported as fromJson reports them.
QJsonDocument parse(QByteArrayView bytes, QJsonParseError *error = nullptr);

// The top-level object or array, or nothing for anything that is not
// well-formed JSON of that shape.
std::optional<QJsonObject> parseObject(QByteArrayView bytes);
std::optional<QJsonArray> parseArray(QByteArrayView bytes);

// Typed reads of one member. Nothing when the member is absent, null or of
// another type; callers decide whether that is an error or a default.
std::optional<QString> string(const QJsonObject &object, QStringView key);
std::optional<double> number(const QJsonObject &object, QStringView key);
// Integral numbers only (1.5 is refused); saturates nothing, refuses values
// a double cannot hold exactly.
std::optional<qint64> integer(const QJsonObject &object, QStringView key);
std::optional<bool> boolean(const QJsonObject &object, QStringView key);
std::optional<QJsonObject> object(const QJsonObject &object, QStringView key);
std::optional<QJsonArray> array(const QJsonObject &object, QStringView key);
// A strict ISO-8601 date member (see iso8601::parseStrict).
std::optional<QDateTime> date(const QJsonObject &object, QStringView key);

// Sets `key` only when the value is present, so absent optionals are
// omitted.
void insertIfPresent(QJsonObject &object, const QString &key, const std::optional<QString> &value);
void insertDate(QJsonObject &object, const QString &key, const QDateTime &value);
void insertDateIfPresent(QJsonObject &object, const QString &key,
                         const std::optional<QDateTime> &value);

} // namespace tovalit::json
