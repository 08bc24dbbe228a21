#pragma once

#include "models/personal_lexicon_audit_event.h"
#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_entry.h"
#include "support/clock.h"

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class LexiconHost;
class PersonalLexiconEventLogging;

// The lexicon's audit log as the keeper writes it: each event completed
// with the entry it names, the size and cloud tables of the lexicon it
// describes and the time, then handed to the log.
//
// Lives on the GUI thread, with the keeper that owns it.
class LexiconAuditTrail {
public:
    // One audit event on its way to the log: the event with the action, the
    // error message (as lastErrorMessage) and the observed and learning
    // fields; the trail adds the entry fields, the counts, the table names
    // and the time.
    struct Record {
        PersonalLexiconAuditEvent event;
        std::optional<PersonalLexiconEntry> entry;
        // Absent: the published ones.
        std::optional<QList<PersonalLexiconEntry>> entries;
        std::optional<PersonalLexiconCloudState> cloudState;

        // About the lexicon as given.
        static Record snapshot(QString action, QList<PersonalLexiconEntry> entries,
                               PersonalLexiconCloudState cloudState,
                               std::optional<QString> errorMessage = std::nullopt);
        // About one entry of the lexicon as given.
        static Record forEntry(QString action, PersonalLexiconEntry entry,
                               QList<PersonalLexiconEntry> entries,
                               PersonalLexiconCloudState cloudState);
    };

    // `logger` null: the audit log on the data folder. The session clock
    // stamps the events.
    LexiconAuditTrail(LexiconHost &host, std::shared_ptr<PersonalLexiconEventLogging> logger,
                      Clock currentDate);

    // Reads the published lexicon, where `record` leaves it out, before it
    // first waits.
    QCoro::Task<void> record(Record record);

private:
    LexiconHost &m_host;
    std::shared_ptr<PersonalLexiconEventLogging> m_logger;
    Clock m_currentDate;
};

} // namespace tovalit
