// The direct route of the lexicon synchronisation: preconditions, the two
// table steps in order, and what every outcome leaves in the snapshot.
// Part of VolcengineSpeechLexiconSyncService.

#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "services/lexicon/personal_lexicon_compiler.h"
#include "support/regex.h"

namespace tovalit {

namespace {

using Service = VolcengineSpeechLexiconSyncService;
using SyncStatus = PersonalLexiconCloudSyncStatus;

QList<PersonalLexiconEntry> syncCandidates(const QList<PersonalLexiconEntry> &entries) {
    QList<PersonalLexiconEntry> candidates;
    for (const PersonalLexiconEntry &entry : entries) {
        if (entry.participatesInCloudSync())
            candidates.append(entry);
    }
    return candidates;
}

// What one table step left behind; no outcome after a delete step.
struct TableStep {
    std::optional<SyncStatus> outcome;
    std::optional<QString> failure;
};

SyncStatus directStatus(const PersonalLexiconEntry &entry, bool hasHotwordLines,
                        const TableStep &hotwords, bool hasReplacementLines,
                        const TableStep &replacements) {
    if (!entry.participatesInCloudSync())
        return SyncStatus::localOnly;
    // A whole table succeeds or fails together; lines are only ever absent
    // for a table whose step was a delete.
    if (entry.kind == PersonalLexiconEntryKind::replacement)
        return hasReplacementLines ? replacements.outcome.value_or(SyncStatus::localOnly)
                                   : SyncStatus::localOnly;
    return hasHotwordLines ? hotwords.outcome.value_or(SyncStatus::localOnly)
                           : SyncStatus::localOnly;
}

} // namespace

QCoro::Task<PersonalLexiconSnapshot> Service::sync(PersonalLexiconSnapshot snapshot,
                                                   QString speechAppID) const {
    return runSync(*this, std::move(snapshot), std::move(speechAppID));
}

QCoro::Task<PersonalLexiconSnapshot>
Service::runSync(Service service, PersonalLexiconSnapshot snapshot, QString speechAppID) {
    // The namespace is fixed first, so it is kept whatever happens next.
    snapshot.cloudState.syncNamespace =
        PersonalLexiconCloudState::sanitizedSyncNamespace(snapshot.cloudState.syncNamespace);
    if (service.m_gatewayConfiguration) {
        co_return co_await runManagedGatewaySync(service, std::move(snapshot),
                                                 *service.m_gatewayConfiguration);
    }

    const QString hotwordName = hotwordTableName(*snapshot.cloudState.syncNamespace);
    const QString replacementName = replacementTableName(*snapshot.cloudState.syncNamespace);
    if (!service.m_configuration) {
        co_return markLocalOnly(
            std::move(snapshot),
            VolcengineSpeechLexiconSyncError::missingCredentials().localizedDescription());
    }
    const std::optional<qint64> appID = parseAppID(speechAppID);
    if (!appID || *appID <= 0) {
        co_return markLocalOnly(
            std::move(snapshot),
            VolcengineSpeechLexiconSyncError::invalidAppID().localizedDescription());
    }
    const VolcengineSpeechOpenAPIConfiguration configuration = *service.m_configuration;

    const QList<PersonalLexiconEntry> candidates = syncCandidates(snapshot.entries);
    const QStringList hotwordLines = PersonalLexiconCompiler::makeHotwordFileLines(candidates);
    const QStringList replacementLines =
        PersonalLexiconCompiler::makeReplacementFileLines(candidates);
    PersonalLexiconCloudState working = snapshot.cloudState;

    // One step after the other: the replacement step runs whatever became
    // of the hot-word step, and a failed step leaves its table's stored
    // fields alone.
    TableStep hotwords;
    try {
        if (hotwordLines.isEmpty()) {
            working = co_await service.deleteHotwordTableIfNeeded(*appID, hotwordName, working,
                                                                  configuration);
        } else {
            const TableReference table = co_await service.ensureHotwordTable(
                *appID, hotwordLines, hotwordName, working, configuration);
            working.hotwordTableID = table.id;
            working.hotwordTableName = table.name;
            hotwords.outcome = SyncStatus::synced;
        }
    } catch (...) {
        hotwords = {SyncStatus::failed, describeLexiconSyncFailure(std::current_exception())};
    }

    TableStep replacements;
    try {
        if (replacementLines.isEmpty()) {
            working = co_await service.deleteReplacementTableIfNeeded(*appID, replacementName,
                                                                      working, configuration);
        } else {
            const TableReference table = co_await service.ensureReplacementTable(
                *appID, replacementLines, replacementName, working, configuration);
            working.replacementTableID = table.id;
            working.replacementTableName = table.name;
            replacements.outcome = SyncStatus::synced;
        }
    } catch (...) {
        replacements = {SyncStatus::failed, describeLexiconSyncFailure(std::current_exception())};
    }

    working.lastSyncedAt = service.m_nowProvider();
    working.lastErrorMessage = hotwords.failure ? hotwords.failure : replacements.failure;
    for (PersonalLexiconEntry &entry : snapshot.entries) {
        entry.cloudSyncStatus = directStatus(entry, !hotwordLines.isEmpty(), hotwords,
                                             !replacementLines.isEmpty(), replacements);
    }
    snapshot.cloudState = working;
    co_return snapshot;
}

QString Service::hotwordTableName(const QString &syncNamespace) {
    return PersonalLexiconCompiler::hotwordTableNamePrefix.toString() + syncNamespace;
}

QString Service::replacementTableName(const QString &syncNamespace) {
    return PersonalLexiconCompiler::replacementTableNamePrefix.toString() + syncNamespace;
}

PersonalLexiconSnapshot Service::markLocalOnly(PersonalLexiconSnapshot snapshot,
                                               std::optional<QString> errorMessage) {
    snapshot.cloudState.lastErrorMessage = std::move(errorMessage);
    for (PersonalLexiconEntry &entry : snapshot.entries) {
        if (entry.participatesInCloudSync())
            entry.cloudSyncStatus = SyncStatus::localOnly;
    }
    return snapshot;
}

std::optional<qint64> Service::parseAppID(QStringView speechAppID) {
    static const textkit::Regex decimal(uR"([+-]?[0-9]+)");
    if (!decimal.matchesEntirely(speechAppID))
        return std::nullopt;
    bool ok = false;
    const qint64 value = speechAppID.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

} // namespace tovalit
