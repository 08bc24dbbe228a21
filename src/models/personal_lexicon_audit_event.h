#pragma once

#include "models/personal_lexicon_audit_candidate.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace tovalit {

// One line of the lexicon audit trail: what happened to the lexicon and
// why. Absent members are left out of the line.
struct PersonalLexiconAuditEvent {
    // The action word, e.g. "load_snapshot", "ai_analysis_skipped".
    QString action;

    // The entry the event concerns, as raw values.
    std::optional<QUuid> entryID;
    std::optional<QString> entryKind;
    std::optional<QString> entryChannel;
    std::optional<QString> entrySharingScope;
    std::optional<QString> sourceText;
    std::optional<QString> targetText;
    std::optional<bool> enabled;
    std::optional<QString> cloudSyncStatus;

    qint64 entryCount = 0;
    std::optional<QString> syncNamespace;
    std::optional<QString> hotwordTableName;
    std::optional<QString> replacementTableName;
    std::optional<QString> lastErrorMessage;

    // The observed edit of inserted text.
    std::optional<QUuid> observedSessionID;
    std::optional<QString> observedOriginalInsertedText;
    std::optional<QString> observedOriginalFieldText;
    std::optional<QString> observedFinalFieldText;
    std::optional<QString> observedAppName;
    std::optional<QString> observedWindowTitle;

    // The language model's analysis of that edit.
    std::optional<bool> aiShouldLearn;
    std::optional<QString> aiSummary;
    std::optional<qint64> aiCandidateCount;
    std::optional<qint64> aiNormalizedCandidateCount;
    std::optional<QList<PersonalLexiconAuditCandidate>> aiCandidates;
    std::optional<QString> aiRawResponseText;
    std::optional<QStringList> aiJSONCandidates;

    // What was learned from it.
    std::optional<QStringList> learnedReplacements;
    std::optional<QStringList> learnedHotwords;
    std::optional<QStringList> promotedBoostTerms;
    std::optional<QString> toastMessage;
    std::optional<QString> skipReason;

    QDateTime timestamp;

    bool operator==(const PersonalLexiconAuditEvent &other) const = default;

    QJsonObject toJson() const;
    // Throws LexiconDecodingError.
    static PersonalLexiconAuditEvent fromJson(const QJsonObject &object);
};

} // namespace tovalit
