#pragma once

#include "models/lexicon_decoding_error.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tovalit {

// Reads the members of one JSON object of the lexicon files with the
// strictness those files need: a required member that is absent or of the
// wrong type, an unknown enumeration value, a malformed UUID or date throws
// LexiconDecodingError naming the member. An optional member may be absent
// or null; present with another type it is an error too.
class LexiconJsonReader {
public:
    explicit LexiconJsonReader(const QJsonObject &object);

    QString requiredString(const QString &key) const;
    std::optional<QString> optionalString(const QString &key) const;
    qint64 requiredInteger(const QString &key) const;
    std::optional<qint64> optionalInteger(const QString &key) const;
    std::optional<double> optionalNumber(const QString &key) const;
    bool requiredBool(const QString &key) const;
    std::optional<bool> optionalBool(const QString &key) const;
    QUuid requiredUuid(const QString &key) const;
    std::optional<QUuid> optionalUuid(const QString &key) const;
    QDateTime requiredDate(const QString &key) const;
    std::optional<QDateTime> optionalDate(const QString &key) const;
    QJsonArray requiredArray(const QString &key) const;
    std::optional<QJsonArray> optionalArray(const QString &key) const;
    QJsonObject requiredObject(const QString &key) const;
    std::optional<QJsonObject> optionalObject(const QString &key) const;
    std::optional<QStringList> optionalStringList(const QString &key) const;

    template <typename Enum>
    Enum requiredEnum(const QString &key) const {
        const QString raw = requiredString(key);
        Enum value{};
        if (!fromRawValue(raw, value))
            throw LexiconDecodingError(LexiconDecodingError::Problem::UnknownValue, key, raw);
        return value;
    }

    template <typename Enum>
    std::optional<Enum> optionalEnum(const QString &key) const {
        const auto raw = optionalString(key);
        if (!raw)
            return std::nullopt;
        Enum value{};
        if (!fromRawValue(*raw, value))
            throw LexiconDecodingError(LexiconDecodingError::Problem::UnknownValue, key, *raw);
        return value;
    }

    // Runs `decode` on a nested object, reporting its errors under
    // `location` ("entries[2]" + "kind").
    template <typename Decode>
    static auto decodeNested(const QString &location, Decode decode) {
        try {
            return decode();
        } catch (const LexiconDecodingError &error) {
            throw error.nestedIn(location);
        }
    }

    // Elements of an array member: strings, UUID texts, objects.
    static QString stringElement(const QJsonValue &value, const QString &location);
    static QUuid uuidElement(const QJsonValue &value, const QString &location);
    static QJsonObject objectElement(const QJsonValue &value, const QString &location);

private:
    // The member, or nothing when absent or null.
    std::optional<QJsonValue> present(const QString &key) const;
    QJsonValue required(const QString &key) const;

    QJsonObject m_object;
};

} // namespace tovalit
