#include "support/json_text.h"

#include "support/iso8601.h"
#include "support/textkit.h"

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

// Qt's parser refuses UTF-8 that encodes a surrogate, so only a "\u" escape
// of D800-DFFF can put one into a string. Most texts have none, and are
// handed on as parsed.
bool mayHoldSurrogateEscape(QByteArrayView bytes) {
    for (qsizetype at = bytes.indexOf("\\u"); at >= 0; at = bytes.indexOf("\\u", at + 2)) {
        if (at + 2 < bytes.size() && (bytes[at + 2] == 'd' || bytes[at + 2] == 'D'))
            return true;
    }
    return false;
}

QJsonValue withPairedSurrogates(const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::String:
        return textkit::withPairedSurrogates(value.toString());
    case QJsonValue::Array: {
        QJsonArray array;
        for (const QJsonValue &element : value.toArray())
            array.append(withPairedSurrogates(element));
        return array;
    }
    case QJsonValue::Object: {
        QJsonObject object;
        const QJsonObject source = value.toObject();
        for (auto it = source.constBegin(); it != source.constEnd(); ++it)
            object.insert(textkit::withPairedSurrogates(it.key()),
                          withPairedSurrogates(it.value()));
        return object;
    }
    default:
        return value;
    }
}

} // namespace

QJsonDocument parse(QByteArrayView bytes, QJsonParseError *error) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), error);
    if (document.isNull() || !mayHoldSurrogateEscape(bytes))
        return document;
    if (document.isObject())
        return QJsonDocument(withPairedSurrogates(QJsonValue(document.object())).toObject());
    if (document.isArray())
        return QJsonDocument(withPairedSurrogates(QJsonValue(document.array())).toArray());
    return document;
}

namespace {

std::optional<QJsonDocument> parseDocument(QByteArrayView bytes) {
    QJsonParseError error{};
    QJsonDocument document = parse(bytes, &error);
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
