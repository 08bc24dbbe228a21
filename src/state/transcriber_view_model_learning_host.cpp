// Learning from edits reaches the personal lexicon through the controller,
// which hands each call on to the lexicon keeper.

#include "state/transcriber_view_model.h"

namespace tovalit {

QCoro::Task<PersonalLexiconLease> TranscriberViewModel::acquirePersonalLexicon() {
    return m_lexicon->acquirePersonalLexicon();
}

QCoro::Task<void>
TranscriberViewModel::commitLearnedLexiconChange(PersonalLexiconLease lease,
                                                 InsertionCorrectionLearningResult result) {
    return m_lexicon->commitLearnedChange(std::move(lease), std::move(result));
}

QCoro::Task<void> TranscriberViewModel::recordLexiconAuditEvent(PersonalLexiconAuditEvent event) {
    return m_lexicon->recordAuditEvent(std::move(event));
}

} // namespace tovalit
