#pragma once

#include "models/personal_lexicon_audit_event.h"
#include "models/personal_lexicon_entry.h"
#include "services/learning/insertion_correction_learning_result.h"
#include "state/shared/personal_lexicon_lease.h"

#include <QList>
#include <qcoro/qcorotask.h>

namespace tovalit {

// What learning from edits needs of the personal lexicon, which it reaches
// only through these (the controller hands them on to the lexicon).
class EditLearningHost {
public:
    virtual ~EditLearningHost() = default;

    // The lexicon as published: what an analysis is learned against.
    virtual const QList<PersonalLexiconEntry> &publishedLexiconEntries() const = 0;
    // The lexicon's lease: a staged change is learned again and saved under
    // it, so that no other change of the lexicon comes in between.
    virtual QCoro::Task<PersonalLexiconLease> acquirePersonalLexicon() = 0;
    // Saves and synchronises the change learned under `lease`.
    virtual QCoro::Task<void>
    commitLearnedLexiconChange(PersonalLexiconLease lease,
                               InsertionCorrectionLearningResult result) = 0;
    // One decision in the lexicon's audit log, about the lexicon as it
    // stands; read before the call returns.
    virtual QCoro::Task<void> recordLexiconAuditEvent(PersonalLexiconAuditEvent event) = 0;
};

} // namespace tovalit
