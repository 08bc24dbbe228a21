#pragma once

#include "models/personal_lexicon_audit_event.h"

#include <qcoro/qcorotask.h>

namespace tovalit {

// Where the lexicon's audit events go. Recording is best effort: it never
// fails and never holds up its caller's operation beyond the write.
class PersonalLexiconEventLogging {
public:
    virtual ~PersonalLexiconEventLogging() = default;
    virtual QCoro::Task<void> record(PersonalLexiconAuditEvent event) = 0;
};

} // namespace tovalit
