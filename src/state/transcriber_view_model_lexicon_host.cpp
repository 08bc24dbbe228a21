// The personal lexicon as the controller composes it: the public calls of
// the lexicon page go to the keeper, and the keeper publishes through the
// controller.

#include "state/transcriber_view_model.h"

namespace tovalit {

// --- Public calls -------------------------------------------------------------------

QString TranscriberViewModel::personalLexiconSummary() const {
    return m_lexicon->personalLexiconSummary();
}

QCoro::Task<void> TranscriberViewModel::loadPersonalLexicon() {
    return m_lexicon->loadPersonalLexicon();
}

QCoro::Task<void> TranscriberViewModel::refreshPersonalLexicon() {
    return m_lexicon->refreshPersonalLexicon();
}

void TranscriberViewModel::saveManualLexiconEntry(std::optional<QUuid> id,
                                                  PersonalLexiconEntryKind kind,
                                                  std::optional<QString> sourceText,
                                                  QString targetText, bool enabled, qint64 hitCount,
                                                  std::optional<QDateTime> createdAt,
                                                  std::optional<QDateTime> lastAppliedAt) {
    m_lexicon->saveManualLexiconEntry(id, kind, std::move(sourceText), std::move(targetText),
                                      enabled, hitCount, std::move(createdAt),
                                      std::move(lastAppliedAt));
}

void TranscriberViewModel::toggleLexiconEntry(const PersonalLexiconEntry &entry) {
    m_lexicon->toggleLexiconEntry(entry);
}

void TranscriberViewModel::deleteLexiconEntry(const PersonalLexiconEntry &entry) {
    m_lexicon->deleteLexiconEntry(entry);
}

// --- The keeper's host ------------------------------------------------------------------

const QList<PersonalLexiconEntry> &TranscriberViewModel::publishedLexiconEntries() const {
    return m_personalLexiconEntries;
}

const PersonalLexiconCloudState &TranscriberViewModel::publishedLexiconCloudState() const {
    return m_personalLexiconCloudState;
}

const PersonalLexiconHistoryLearningState &
TranscriberViewModel::publishedHistoryLearningState() const {
    return m_personalLexiconHistoryLearningState;
}

void TranscriberViewModel::publishLexiconEntries(QList<PersonalLexiconEntry> value) {
    setPersonalLexiconEntries(std::move(value));
}

void TranscriberViewModel::publishLexiconCloudState(PersonalLexiconCloudState value) {
    setPersonalLexiconCloudState(std::move(value));
}

void TranscriberViewModel::publishHistoryLearningState(PersonalLexiconHistoryLearningState value) {
    setPersonalLexiconHistoryLearningState(std::move(value));
}

void TranscriberViewModel::publishRecentLexiconLearningMessage(std::optional<QString> value) {
    setRecentLexiconLearningMessage(std::move(value));
}

void TranscriberViewModel::publishSetAsideLexiconCopies(QStringList paths) {
    if (paths == m_setAsideLexiconCopies)
        return;
    m_setAsideLexiconCopies = std::move(paths);
    Q_EMIT setAsideLexiconCopiesChanged(m_setAsideLexiconCopies);
}

void TranscriberViewModel::publishLastResultMessage(std::optional<QString> value) {
    setLastResultMessage(std::move(value));
}

const QList<TranscriptRecord> &TranscriberViewModel::historyRecords() const {
    return m_records;
}

} // namespace tovalit
