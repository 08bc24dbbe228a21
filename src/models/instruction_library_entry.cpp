#include "models/instruction_library_entry.h"

#include "models/instruction_library_decoding_error.h"
#include "support/iso8601.h"
#include "support/json_text.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>

namespace tovalit {

namespace {

using Problem = InstructionLibraryDecodingError::Problem;

// Every phrase trimmed, blanks dropped, and of phrases that share a
// comparison key only the first kept, as given (case and width intact).
QStringList sanitizedPhrases(const QStringList &phrases) {
    QStringList kept;
    QSet<QString> seenKeys;
    for (const QString &phrase : phrases) {
        QString trimmedPhrase = textkit::trimmed(phrase);
        if (trimmedPhrase.isEmpty())
            continue;
        const QString key = InstructionLibraryEntry::normalizedValue(trimmedPhrase);
        if (seenKeys.contains(key))
            continue;
        seenKeys.insert(key);
        kept.append(std::move(trimmedPhrase));
    }
    return kept;
}

// Reads the members of one stored entry; every member is required.
class EntryReader {
public:
    explicit EntryReader(const QJsonObject &object)
        : m_object(object) {}

    QJsonValue member(const QString &key) const {
        const auto found = m_object.constFind(key);
        if (found == m_object.constEnd() || found->isNull())
            throw InstructionLibraryDecodingError(Problem::Missing, key);
        return *found;
    }

    QString string(const QString &key) const {
        const QJsonValue value = member(key);
        if (!value.isString())
            throw InstructionLibraryDecodingError(Problem::WrongType, key);
        return value.toString();
    }

    bool boolean(const QString &key) const {
        const QJsonValue value = member(key);
        if (!value.isBool())
            throw InstructionLibraryDecodingError(Problem::WrongType, key);
        return value.toBool();
    }

    qint64 integer(const QString &key) const {
        member(key);
        const auto value = json::integer(m_object, key);
        if (!value)
            throw InstructionLibraryDecodingError(Problem::WrongType, key);
        return *value;
    }

    QStringList strings(const QString &key) const {
        const QJsonValue value = member(key);
        if (!value.isArray())
            throw InstructionLibraryDecodingError(Problem::WrongType, key);
        QStringList list;
        const QJsonArray array = value.toArray();
        list.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (!array.at(i).isString()) {
                throw InstructionLibraryDecodingError(Problem::WrongType,
                                                      key + u'[' + QString::number(i) + u']');
            }
            list.append(array.at(i).toString());
        }
        return list;
    }

    QUuid uuid(const QString &key) const {
        const auto id = uuidtext::parse(string(key));
        if (!id)
            throw InstructionLibraryDecodingError(Problem::InvalidUuid, key);
        return *id;
    }

    QDateTime date(const QString &key) const {
        const auto value = iso8601::parseStrict(string(key));
        if (!value)
            throw InstructionLibraryDecodingError(Problem::InvalidDate, key);
        return *value;
    }

    template <typename Enum>
    Enum enumeration(const QString &key) const {
        const QString raw = string(key);
        Enum value{};
        if (!fromRawValue(raw, value))
            throw InstructionLibraryDecodingError(Problem::UnknownValue, key, raw);
        return value;
    }

private:
    const QJsonObject &m_object;
};

} // namespace

InstructionLibraryEntry::InstructionLibraryEntry(
    QUuid id, QString title, QString summary, QString promptTemplate, QStringList invocationPhrases,
    QString invocationHint, InstructionLibraryCategory category,
    InstructionLibraryEntrySource source, bool enabled, qint64 maxTokens, QDateTime createdAt,
    QDateTime updatedAt)
    : title(textkit::trimmed(title))
    , summary(textkit::trimmed(summary))
    , promptTemplate(textkit::trimmed(promptTemplate))
    , invocationPhrases(sanitizedPhrases(invocationPhrases))
    , invocationHint(textkit::trimmed(invocationHint))
    , category(category)
    , source(source)
    , enabled(enabled)
    , maxTokens(std::max(maxTokens, minimumMaxTokens))
    , createdAt(std::move(createdAt))
    , updatedAt(std::move(updatedAt))
    , m_id(id) {}

InstructionLibraryEntry::InstructionLibraryEntry(
    Stored, QUuid id, QString title, QString summary, QString promptTemplate,
    QStringList invocationPhrases, QString invocationHint, InstructionLibraryCategory category,
    InstructionLibraryEntrySource source, bool enabled, qint64 maxTokens, QDateTime createdAt,
    QDateTime updatedAt)
    : title(std::move(title))
    , summary(std::move(summary))
    , promptTemplate(std::move(promptTemplate))
    , invocationPhrases(std::move(invocationPhrases))
    , invocationHint(std::move(invocationHint))
    , category(category)
    , source(source)
    , enabled(enabled)
    , maxTokens(maxTokens)
    , createdAt(std::move(createdAt))
    , updatedAt(std::move(updatedAt))
    , m_id(id) {}

InstructionLibraryEntry InstructionLibraryEntry::makeCustom(std::optional<QUuid> id, QString title,
                                                            QString summary, QString promptTemplate,
                                                            InstructionLibraryCategory category,
                                                            bool enabled, qint64 maxTokens,
                                                            std::optional<QDateTime> createdAt,
                                                            QDateTime updatedAt) {
    const QString trimmedTitle = textkit::trimmed(title);
    return InstructionLibraryEntry(
        id.value_or(QUuid::createUuid()), trimmedTitle, std::move(summary),
        std::move(promptTemplate), customInvocationPhrases(trimmedTitle),
        QStringLiteral("用") + trimmedTitle + QStringLiteral("指令 + 你的内容"), category,
        InstructionLibraryEntrySource::custom, enabled, maxTokens,
        createdAt.value_or(QDateTime::currentDateTimeUtc()), std::move(updatedAt));
}

QStringList InstructionLibraryEntry::customInvocationPhrases(QStringView title) {
    const QString trimmedTitle = textkit::trimmed(title);
    if (trimmedTitle.isEmpty())
        return {};
    return {
        QStringLiteral("用") + trimmedTitle + QStringLiteral("指令"),
        QStringLiteral("使用") + trimmedTitle + QStringLiteral("指令"),
        QStringLiteral("调用") + trimmedTitle + QStringLiteral("指令"),
    };
}

QString InstructionLibraryEntry::normalizedValue(QStringView text) {
    return textkit::comparisonKey(text);
}

QStringList InstructionLibraryEntry::displayInvocationPhrases() const {
    return invocationPhrases.isEmpty() ? customInvocationPhrases(title) : invocationPhrases;
}

QString InstructionLibraryEntry::normalizedLookupKey() const {
    return rawValue(source) + u':' + normalizedValue(title);
}

QJsonObject InstructionLibraryEntry::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), uuidtext::upper(m_id));
    object.insert(QStringLiteral("title"), title);
    object.insert(QStringLiteral("summary"), summary);
    object.insert(QStringLiteral("promptTemplate"), promptTemplate);
    object.insert(QStringLiteral("invocationPhrases"),
                  QJsonArray::fromStringList(invocationPhrases));
    object.insert(QStringLiteral("invocationHint"), invocationHint);
    object.insert(QStringLiteral("category"), rawValue(category));
    object.insert(QStringLiteral("source"), rawValue(source));
    object.insert(QStringLiteral("enabled"), enabled);
    object.insert(QStringLiteral("maxTokens"), maxTokens);
    json::insertDate(object, QStringLiteral("createdAt"), createdAt);
    json::insertDate(object, QStringLiteral("updatedAt"), updatedAt);
    return object;
}

InstructionLibraryEntry InstructionLibraryEntry::fromJson(const QJsonObject &object) {
    const EntryReader read(object);
    return InstructionLibraryEntry(
        Stored{}, read.uuid(QStringLiteral("id")), read.string(QStringLiteral("title")),
        read.string(QStringLiteral("summary")), read.string(QStringLiteral("promptTemplate")),
        read.strings(QStringLiteral("invocationPhrases")),
        read.string(QStringLiteral("invocationHint")),
        read.enumeration<InstructionLibraryCategory>(QStringLiteral("category")),
        read.enumeration<InstructionLibraryEntrySource>(QStringLiteral("source")),
        read.boolean(QStringLiteral("enabled")), read.integer(QStringLiteral("maxTokens")),
        read.date(QStringLiteral("createdAt")), read.date(QStringLiteral("updatedAt")));
}

} // namespace tovalit
