#include "state/lexicon/lexicon_audit_trail.h"

#include "services/lexicon/personal_lexicon_event_logger.h"
#include "services/lexicon/personal_lexicon_event_logging.h"
#include "state/lexicon/lexicon_host.h"

namespace tovalit {

LexiconAuditTrail::LexiconAuditTrail(LexiconHost &host,
                                     std::shared_ptr<PersonalLexiconEventLogging> logger,
                                     Clock currentDate)
    : m_host(host)
    , m_logger(logger ? std::move(logger) : std::make_shared<PersonalLexiconEventLogger>())
    , m_currentDate(std::move(currentDate)) {}

LexiconAuditTrail::Record LexiconAuditTrail::Record::snapshot(QString action,
                                                              QList<PersonalLexiconEntry> entries,
                                                              PersonalLexiconCloudState cloudState,
                                                              std::optional<QString> errorMessage) {
    Record record;
    record.event.action = std::move(action);
    record.event.lastErrorMessage = std::move(errorMessage);
    record.entries = std::move(entries);
    record.cloudState = std::move(cloudState);
    return record;
}

LexiconAuditTrail::Record
LexiconAuditTrail::Record::forEntry(QString action, PersonalLexiconEntry entry,
                                    QList<PersonalLexiconEntry> entries,
                                    PersonalLexiconCloudState cloudState) {
    Record record = snapshot(std::move(action), std::move(entries), std::move(cloudState));
    record.entry = std::move(entry);
    return record;
}

QCoro::Task<void> LexiconAuditTrail::record(Record record) {
    PersonalLexiconAuditEvent event = std::move(record.event);
    const QList<PersonalLexiconEntry> &entries =
        record.entries ? *record.entries : m_host.publishedLexiconEntries();
    const PersonalLexiconCloudState &cloud =
        record.cloudState ? *record.cloudState : m_host.publishedLexiconCloudState();
    if (record.entry) {
        const PersonalLexiconEntry &entry = *record.entry;
        event.entryID = entry.id();
        event.entryKind = rawValue(entry.kind);
        event.entryChannel = rawValue(entry.channel);
        event.entrySharingScope = rawValue(entry.sharingScope);
        event.sourceText = entry.sourceText;
        event.targetText = entry.targetText;
        event.enabled = entry.enabled;
        event.cloudSyncStatus = rawValue(entry.cloudSyncStatus);
    }
    event.entryCount = entries.size();
    event.syncNamespace = cloud.syncNamespace;
    event.hotwordTableName = cloud.hotwordTableName;
    event.replacementTableName = cloud.replacementTableName;
    if (!event.lastErrorMessage)
        event.lastErrorMessage = cloud.lastErrorMessage;
    event.timestamp = m_currentDate();
    // The logger outlives this call even when the keeper does not.
    const std::shared_ptr<PersonalLexiconEventLogging> logger = m_logger;
    co_await logger->record(std::move(event));
}

} // namespace tovalit
