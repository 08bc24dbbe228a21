// The personal lexicon as the controller holds it, and the learning hooks
// of a dictation.

#include "models/personal_lexicon_snapshot.h"
#include "services/lexicon/personal_lexicon_compiler.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "state/transcriber_view_model.h"
#include "support/textkit.h"

#include <algorithm>

namespace tovalit {

QCoro::Task<void> TranscriberViewModel::loadPersonalLexicon() {
    PersonalLexiconSnapshot snapshot;
    std::exception_ptr failure;
    try {
        snapshot = co_await m_personalLexiconStore->loadSnapshot();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        // The application keeps running with an empty lexicon; the file
        // stays as it is.
        setPersonalLexiconEntries({});
        setPersonalLexiconCloudState(PersonalLexiconCloudState::empty());
        setPersonalLexiconHistoryLearningState(PersonalLexiconHistoryLearningState::empty());
        setRecentLexiconLearningMessage(QStringLiteral("个人词库加载失败：") +
                                        describeError(failure));
        co_return;
    }
    // Latest change first; equal times in the order a file browser uses.
    std::stable_sort(snapshot.entries.begin(), snapshot.entries.end(),
                     [](const PersonalLexiconEntry &a, const PersonalLexiconEntry &b) {
                         if (a.updatedAt != b.updatedAt)
                             return a.updatedAt > b.updatedAt;
                         return textkit::localizedStandardCompare(a.displayText(),
                                                                  b.displayText()) < 0;
                     });
    setPersonalLexiconEntries(snapshot.entries);
    setPersonalLexiconCloudState(snapshot.cloudState);
    setPersonalLexiconHistoryLearningState(snapshot.historyLearningState);
}

std::optional<VellupSpeechLexiconConfiguration>
TranscriberViewModel::compiledSpeechLexiconConfiguration() const {
    PersonalLexiconSnapshot snapshot;
    snapshot.entries = m_personalLexiconEntries;
    snapshot.cloudState = m_personalLexiconCloudState;
    snapshot.historyLearningState = m_personalLexiconHistoryLearningState;
    return PersonalLexiconCompiler::makeSpeechConfiguration(snapshot);
}

// Learning from the user's corrections and from the history arrives with
// the lexicon learning; until then the dictation's hooks into it are
// quiet.

QCoro::Task<void>
TranscriberViewModel::handleObservedInsertionEditEvent(ObservedInsertionEditEvent event) {
    Q_UNUSED(event);
    co_return;
}

QCoro::Task<void>
TranscriberViewModel::processHistoryLexiconRecords(QList<TranscriptRecord> records,
                                                   bool markDailyBatchAt) {
    Q_UNUSED(records);
    Q_UNUSED(markDailyBatchAt);
    co_return;
}

QCoro::Task<void> TranscriberViewModel::runDailyHistoryLexiconBatchIfNeeded(bool force) {
    Q_UNUSED(force);
    co_return;
}

QCoro::Task<void> TranscriberViewModel::resetHistoryLearningTracking() {
    co_return;
}

} // namespace tovalit
