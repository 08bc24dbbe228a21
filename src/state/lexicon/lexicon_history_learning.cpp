// Learning hot words from the dictation history: after each dictation,
// once a day over the whole history, and when the lexicon page asks.

#include "services/gateway/gateway_session_providing.h"
#include "services/learning/history_frequency_lexicon_learner.h"
#include "services/learning/system_managed_boost_entries.h"
#include "services/learning/vellup_history_term_extractor.h"
#include "services/settings/app_configuration_store.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "state/lexicon/lexicon_host.h"
#include "state/lexicon/lexicon_keeper.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/textkit.h"

#include <QPointer>
#include <QSet>

namespace tovalit {

namespace {

// A term must turn up in this many records before it takes effect.
constexpr int historyLearningThreshold = 3;

bool isLearnable(const TranscriptRecord &record, const QSet<QUuid> &taken) {
    return !taken.contains(record.id) && record.status != TranscriptRecordStatus::failed &&
           !textkit::isBlank(record.transcript);
}

// The discoveries of records no other run has counted in the meantime.
QList<HistoryLexiconDiscovery> uncounted(const QList<HistoryLexiconDiscovery> &discoveries,
                                         const QSet<QUuid> &processed) {
    QList<HistoryLexiconDiscovery> remaining;
    for (const HistoryLexiconDiscovery &discovery : discoveries) {
        if (!processed.contains(discovery.recordID))
            remaining.append(discovery);
    }
    return remaining;
}

// Claims records for one history batch while it reads them, so that an
// overlapping batch (a dictation ending during the daily batch, a refresh)
// leaves them to it instead of asking the model about them a second time.
class ClaimedRecords {
public:
    ClaimedRecords(QPointer<QObject> owner, QSet<QUuid> *claims,
                   const QList<TranscriptRecord> &records)
        : m_owner(std::move(owner))
        , m_claims(claims) {
        for (const TranscriptRecord &record : records) {
            m_ids.append(record.id);
            m_claims->insert(record.id);
        }
    }
    ~ClaimedRecords() {
        // The claims live in the keeper; once it is gone there is
        // nothing to release.
        if (!m_owner)
            return;
        for (const QUuid &id : m_ids)
            m_claims->remove(id);
    }
    ClaimedRecords(const ClaimedRecords &) = delete;
    ClaimedRecords &operator=(const ClaimedRecords &) = delete;

private:
    QPointer<QObject> m_owner;
    QSet<QUuid> *m_claims;
    QList<QUuid> m_ids;
};

} // namespace

QCoro::Task<void> LexiconKeeper::runDailyHistoryLexiconBatchIfNeeded(bool force) {
    const QPointer<LexiconKeeper> alive(this);
    // Whether today's batch has run is for the file to say, when the last
    // load could not read it.
    if (m_personalLexiconReadFailure) {
        const PersonalLexiconLease reread = co_await acquirePersonalLexicon();
        if (!alive)
            co_return;
    }
    // A calendar day of the user's own clock, so the system clock: the
    // session clock is for the timing of a dictation.
    const std::optional<QDateTime> last = m_host.publishedHistoryLearningState().lastDailyBatchAt;
    if (!force && last && last->toLocalTime().date() == m_systemDate().toLocalTime().date())
        co_return;
    co_await processHistoryLexiconRecords(m_host.historyRecords(), true);
}

QCoro::Task<void> LexiconKeeper::processHistoryLexiconRecords(QList<TranscriptRecord> records,
                                                              bool markDailyBatchAt,
                                                              QUuid followUpOf) {
    const QPointer<LexiconKeeper> alive(this);
    QSet<QUuid> taken = m_historyLexiconRecordsInFlight;
    for (const QUuid &id : m_host.publishedHistoryLearningState().processedRecordIDs)
        taken.insert(id);
    QList<TranscriptRecord> learnable;
    // Without the file's bookkeeping every record would look new, and
    // nothing learned could be saved anyway.
    for (const TranscriptRecord &record : records) {
        if (!m_personalLexiconReadFailure && isLearnable(record, taken))
            learnable.append(record);
    }
    const ClaimedRecords claimed(alive.data(), &m_historyLexiconRecordsInFlight, learnable);

    QList<HistoryLexiconDiscovery> discoveries;
    if (!learnable.isEmpty()) {
        discoveries = co_await extractHistoryDiscoveries(std::move(learnable));
        if (!alive)
            co_return;
    }

    // The model's answers may take minutes. What they teach goes into the
    // lexicon and the bookkeeping as they stand now, so that an edit, a
    // deletion or another batch saved meanwhile is kept.
    PersonalLexiconLease lease = co_await acquirePersonalLexicon();
    if (!alive)
        co_return;
    const PersonalLexiconHistoryLearningState current = m_host.publishedHistoryLearningState();
    PersonalLexiconHistoryLearningState next = current;
    if (markDailyBatchAt)
        next.lastDailyBatchAt = m_systemDate();
    const QSet<QUuid> processed(current.processedRecordIDs.cbegin(),
                                current.processedRecordIDs.cend());
    discoveries = uncounted(discoveries, processed);

    if (discoveries.isEmpty()) {
        if (next == current)
            co_return;
        co_await persistPersonalLexicon(std::move(lease), m_host.publishedLexiconEntries(),
                                        m_host.publishedLexiconCloudState(), next, std::nullopt,
                                        false, false, followUpOf);
        co_return;
    }

    const QStringList ignored = next.ignoredNormalizedTerms;
    const HistoryFrequencyLearningResult result =
        HistoryFrequencyLexiconLearner::learn(discoveries, m_host.publishedLexiconEntries(),
                                              QSet<QString>(ignored.cbegin(), ignored.cend()),
                                              processed, historyLearningThreshold, m_systemDate());
    next.processedRecordIDs = SystemManagedBoostEntries::mergeOrderedUnique(
        next.processedRecordIDs, result.processedRecordIDs);

    // Only a change of the entries concerns the cloud; the bookkeeping
    // alone is saved locally.
    const bool entriesChanged = result.entries != m_host.publishedLexiconEntries();
    if (!entriesChanged && next == current)
        co_return;
    co_await persistPersonalLexicon(std::move(lease), result.entries,
                                    m_host.publishedLexiconCloudState(), next, std::nullopt, false,
                                    entriesChanged, followUpOf);
}

QCoro::Task<QList<HistoryLexiconDiscovery>>
LexiconKeeper::extractHistoryDiscoveries(QList<TranscriptRecord> records) {
    std::optional<VellupStructuredFormatterConfiguration> configuration;
    try {
        configuration = co_await resolveHistoryExtractorConfiguration();
    } catch (...) {
        // Local word segmentation does the job without a language model.
    }
    std::optional<VellupHistoryTermExtractor> extractor;
    if (configuration)
        extractor.emplace(*configuration, VellupStructuredFormatter::liveTransport());

    QList<HistoryLexiconDiscovery> discoveries;
    for (const TranscriptRecord &record : records) {
        const QString text = textkit::trimmed(record.transcript);
        std::optional<QStringList> terms;
        if (extractor) {
            try {
                terms = co_await extractor->extractTerms(text);
            } catch (...) {
                // This record only; the next one asks the model again.
            }
        }
        if (!terms)
            terms = HistoryFrequencyLexiconLearner::extractDiscoverableTerms(text);
        discoveries.append(HistoryLexiconDiscovery{record.id, *terms});
    }
    co_return discoveries;
}

QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
LexiconKeeper::resolveHistoryExtractorConfiguration() {
    const std::optional<VellupStructuredFormatterConfiguration> local =
        m_configurationStore.vellupHistoryLexiconExtractorConfiguration();
    if (!m_gatewayRecovery.isGatewayConfigured())
        co_return local;
    const std::shared_ptr<GatewaySessionProviding> gateway = m_gatewaySessionService;
    std::optional<VellupStructuredFormatterConfiguration> routed;
    std::exception_ptr failure;
    try {
        routed = co_await gateway->historyExtractorConfiguration();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (local)
            co_return local;
        std::rethrow_exception(failure);
    }
    co_return routed ? routed : local;
}

} // namespace tovalit
