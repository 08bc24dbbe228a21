#include "models/lexicon_json_reader.h"

#include "support/iso8601.h"
#include "support/uuid_text.h"

namespace tovalit {

namespace {

using Problem = LexiconDecodingError::Problem;

[[noreturn]] void wrongType(const QString &location) {
    throw LexiconDecodingError(Problem::WrongType, location);
}

qint64 integerValue(const QJsonValue &value, const QString &location) {
    if (!value.isDouble())
        wrongType(location);
    // Qt keeps integral JSON numbers exact up to the 64-bit limits; two
    // different fallbacks tell "not a whole number in range" apart from a
    // value that happens to equal one of them.
    const qint64 first = value.toInteger(0);
    if (first != value.toInteger(1))
        wrongType(location);
    return first;
}

QDateTime dateValue(const QJsonValue &value, const QString &location) {
    if (!value.isString())
        wrongType(location);
    const auto date = iso8601::parseStrict(value.toString());
    if (!date)
        throw LexiconDecodingError(Problem::InvalidDate, location);
    return *date;
}

} // namespace

LexiconJsonReader::LexiconJsonReader(const QJsonObject &object)
    : m_object(object) {}

std::optional<QJsonValue> LexiconJsonReader::present(const QString &key) const {
    const auto found = m_object.constFind(key);
    if (found == m_object.constEnd() || found->isNull())
        return std::nullopt;
    return *found;
}

QJsonValue LexiconJsonReader::required(const QString &key) const {
    auto value = present(key);
    if (!value)
        throw LexiconDecodingError(Problem::Missing, key);
    return *value;
}

QString LexiconJsonReader::requiredString(const QString &key) const {
    return stringElement(required(key), key);
}

std::optional<QString> LexiconJsonReader::optionalString(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    return stringElement(*value, key);
}

qint64 LexiconJsonReader::requiredInteger(const QString &key) const {
    return integerValue(required(key), key);
}

std::optional<qint64> LexiconJsonReader::optionalInteger(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    return integerValue(*value, key);
}

std::optional<double> LexiconJsonReader::optionalNumber(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    if (!value->isDouble())
        wrongType(key);
    return value->toDouble();
}

bool LexiconJsonReader::requiredBool(const QString &key) const {
    const QJsonValue value = required(key);
    if (!value.isBool())
        wrongType(key);
    return value.toBool();
}

std::optional<bool> LexiconJsonReader::optionalBool(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    if (!value->isBool())
        wrongType(key);
    return value->toBool();
}

QUuid LexiconJsonReader::requiredUuid(const QString &key) const {
    return uuidElement(required(key), key);
}

std::optional<QUuid> LexiconJsonReader::optionalUuid(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    return uuidElement(*value, key);
}

QDateTime LexiconJsonReader::requiredDate(const QString &key) const {
    return dateValue(required(key), key);
}

std::optional<QDateTime> LexiconJsonReader::optionalDate(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    return dateValue(*value, key);
}

QJsonArray LexiconJsonReader::requiredArray(const QString &key) const {
    const QJsonValue value = required(key);
    if (!value.isArray())
        wrongType(key);
    return value.toArray();
}

std::optional<QJsonArray> LexiconJsonReader::optionalArray(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    if (!value->isArray())
        wrongType(key);
    return value->toArray();
}

QJsonObject LexiconJsonReader::requiredObject(const QString &key) const {
    return objectElement(required(key), key);
}

std::optional<QJsonObject> LexiconJsonReader::optionalObject(const QString &key) const {
    const auto value = present(key);
    if (!value)
        return std::nullopt;
    return objectElement(*value, key);
}

std::optional<QStringList> LexiconJsonReader::optionalStringList(const QString &key) const {
    const auto array = optionalArray(key);
    if (!array)
        return std::nullopt;
    QStringList list;
    list.reserve(array->size());
    for (qsizetype i = 0; i < array->size(); ++i)
        list.append(stringElement(array->at(i), key + u'[' + QString::number(i) + u']'));
    return list;
}

QString LexiconJsonReader::stringElement(const QJsonValue &value, const QString &location) {
    if (!value.isString())
        wrongType(location);
    return value.toString();
}

QUuid LexiconJsonReader::uuidElement(const QJsonValue &value, const QString &location) {
    const auto id = uuidtext::parse(stringElement(value, location));
    if (!id)
        throw LexiconDecodingError(Problem::InvalidUuid, location);
    return *id;
}

QJsonObject LexiconJsonReader::objectElement(const QJsonValue &value, const QString &location) {
    if (!value.isObject())
        wrongType(location);
    return value.toObject();
}

} // namespace tovalit
