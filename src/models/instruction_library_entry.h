#pragma once

#include "models/instruction_library_enums.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUuid>

#include <optional>

namespace tovalit {

// One stored prompt instruction: spoken by one of its phrases at the start
// of a dictation, it runs its prompt on the rest. A plain value compared
// field by field.
//
// The constructor normalises what it is given (texts trimmed, phrases
// trimmed and de-duplicated by comparison key, at least 256 tokens);
// fromJson() takes the stored values exactly, so a hand-edited file reads
// back as written. Later assignments to the fields are not re-checked.
class InstructionLibraryEntry {
public:
    static constexpr qint64 minimumMaxTokens = 256;

    InstructionLibraryEntry(QUuid id, QString title, QString summary, QString promptTemplate,
                            QStringList invocationPhrases, QString invocationHint,
                            InstructionLibraryCategory category,
                            InstructionLibraryEntrySource source, bool enabled, qint64 maxTokens,
                            QDateTime createdAt, QDateTime updatedAt);

    // A user entry whose phrases and hint derive from its title; a fresh id
    // without `id`, and the current time without `createdAt`.
    static InstructionLibraryEntry makeCustom(std::optional<QUuid> id, QString title,
                                              QString summary, QString promptTemplate,
                                              InstructionLibraryCategory category, bool enabled,
                                              qint64 maxTokens, std::optional<QDateTime> createdAt,
                                              QDateTime updatedAt);

    // "用T指令", "使用T指令", "调用T指令" for the trimmed title T; none for a
    // blank title.
    static QStringList customInvocationPhrases(QStringView title);

    // The one comparison key of the library: trimmed, folded without case,
    // diacritic and width distinctions, lower-cased.
    static QString normalizedValue(QStringView text);

    // Fixed at creation: the library identifies entries by it.
    const QUuid &id() const { return m_id; }

    QString title;
    QString summary;
    // The system prompt of a run.
    QString promptTemplate;
    QStringList invocationPhrases;
    // How to speak it, e.g. "写日报 + 今天做了什么".
    QString invocationHint;
    InstructionLibraryCategory category;
    InstructionLibraryEntrySource source;
    // Only enabled entries are matched by speech.
    bool enabled;
    // The "max_tokens" of a run.
    qint64 maxTokens;
    QDateTime createdAt;
    QDateTime updatedAt;

    bool operator==(const InstructionLibraryEntry &other) const = default;

    // The stored phrases, or those derived from the title when none are
    // stored; speech matching uses these.
    QStringList displayInvocationPhrases() const;
    // Source and normalised title ("custom:周报整理"): one entry per key.
    QString normalizedLookupKey() const;

    QJsonObject toJson() const;
    // All twelve members are required. Throws InstructionLibraryDecodingError.
    static InstructionLibraryEntry fromJson(const QJsonObject &object);

private:
    struct Stored {};
    // Takes every value as it is, for decoding.
    InstructionLibraryEntry(Stored, QUuid id, QString title, QString summary,
                            QString promptTemplate, QStringList invocationPhrases,
                            QString invocationHint, InstructionLibraryCategory category,
                            InstructionLibraryEntrySource source, bool enabled, qint64 maxTokens,
                            QDateTime createdAt, QDateTime updatedAt);

    QUuid m_id;
};

} // namespace tovalit
