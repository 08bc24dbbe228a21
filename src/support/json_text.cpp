#include "support/json_text.h"

#include "support/iso8601.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace tovalit::json {

QByteArray pretty(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QByteArray pretty(const QJsonArray &array) {
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QByteArray compact(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray compact(const QJsonArray &array) {
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

namespace {

std::optional<QJsonDocument> parseDocument(QByteArrayView bytes) {
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return document;
}

} // namespace

std::optional<QJsonObject> parseObject(QByteArrayView bytes) {
    const auto document = parseDocument(bytes);
    if (!document || !document->isObject())
        return std::nullopt;
    return document->object();
}

std::optional<QJsonArray> parseArray(QByteArrayView bytes) {
    const auto document = parseDocument(bytes);
    if (!document || !document->isArray())
        return std::nullopt;
    return document->array();
}

std::optional<QString> string(const QJsonObject &object, QStringView key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<double> number(const QJsonObject &object, QStringView key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

std::optional<qint64> integer(const QJsonObject &object, QStringView key) {
    const auto value = number(object, key);
    // 2^63 is not representable as qint64; doubles at or past it are refused.
    if (!value || !std::isfinite(*value) || std::trunc(*value) != *value ||
        std::fabs(*value) >= 9223372036854775808.0) {
        return std::nullopt;
    }
    return static_cast<qint64>(*value);
}

std::optional<bool> boolean(const QJsonObject &object, QStringView key) {
    const QJsonValue value = object.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<QJsonObject> object(const QJsonObject &object, QStringView key) {
    const QJsonValue value = object.value(key);
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

std::optional<QJsonArray> array(const QJsonObject &object, QStringView key) {
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return std::nullopt;
    return value.toArray();
}

std::optional<QDateTime> date(const QJsonObject &object, QStringView key) {
    const auto text = string(object, key);
    if (!text)
        return std::nullopt;
    return iso8601::parseStrict(*text);
}

void insertIfPresent(QJsonObject &object, const QString &key, const std::optional<QString> &value) {
    if (value)
        object.insert(key, *value);
}

void insertDate(QJsonObject &object, const QString &key, const QDateTime &value) {
    object.insert(key, iso8601::formatUtcSeconds(value));
}

void insertDateIfPresent(QJsonObject &object, const QString &key,
                         const std::optional<QDateTime> &value) {
    if (value)
        insertDate(object, key, *value);
}

} // namespace tovalit::json
