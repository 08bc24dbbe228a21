// The history's public calls, kept by the history keeper, and what the
// keeper asks of the controller.

#include "state/history/history_keeper.h"
#include "state/lexicon/lexicon_keeper.h"
#include "state/transcriber_view_model.h"

namespace tovalit {

QCoro::Task<void> TranscriberViewModel::loadHistory() {
    return m_history->loadHistory();
}

void TranscriberViewModel::deleteRecord(const TranscriptRecord &record) {
    m_history->deleteRecord(record);
}

void TranscriberViewModel::clearHistory() {
    m_history->clearHistory();
}

void TranscriberViewModel::revealAudioFile(const TranscriptRecord &record) {
    m_history->revealAudioFile(record);
}

void TranscriberViewModel::revealTranscriptFile(const TranscriptRecord &record) {
    m_history->revealTranscriptFile(record);
}

QCoro::Task<void> TranscriberViewModel::learnFromLoadedHistory() {
    return m_lexicon->runDailyHistoryLexiconBatchIfNeeded(false);
}

QCoro::Task<void> TranscriberViewModel::forgetClearedHistoryLearning() {
    return m_lexicon->resetHistoryLearningTracking();
}

} // namespace tovalit
