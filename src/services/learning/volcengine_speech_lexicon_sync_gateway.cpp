// The managed route of the lexicon synchronisation: one request to the
// gateway, which keeps the speech service's tables itself. Part of
// VolcengineSpeechLexiconSyncService.

#include "models/lexicon_json_reader.h"
#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "services/lexicon/personal_lexicon_compiler.h"
#include "support/json_text.h"
#include "support/ordered_json.h"
#include "support/uuid_text.h"

#include <chrono>

namespace tovalit {

namespace {

using Service = VolcengineSpeechLexiconSyncService;
using SyncStatus = PersonalLexiconCloudSyncStatus;

constexpr std::chrono::seconds gatewayTimeout{30};

// {"kind":"managed","entries":[…]} with every entry's members in the
// gateway's order.
QByteArray managedSyncRequestBody(const QList<PersonalLexiconEntry> &candidates) {
    QByteArray entries;
    for (const PersonalLexiconEntry &entry : candidates) {
        json::OrderedObjectWriter member;
        member.add(u"entryId", uuidtext::lower(entry.id()))
            .add(u"channel", rawValue(entry.channel))
            .add(u"sharingScope", rawValue(entry.sharingScope));
        if (entry.sourceText)
            member.add(u"sourceText", *entry.sourceText);
        member.add(u"targetText", entry.targetText).add(u"enabled", entry.enabled);
        if (!entries.isEmpty())
            entries += ',';
        entries += member.compact();
    }
    return "{\"kind\":" + json::compactValue(QStringLiteral("managed")) + ",\"entries\":[" +
           entries + "]}";
}

struct EffectiveTables {
    std::optional<QString> hotwordTableID;
    std::optional<QString> hotwordTableName;
    std::optional<QString> replacementTableID;
    std::optional<QString> replacementTableName;
};

// The gateway's answer. "ok" and both counts must be there, although
// nothing depends on their values. Throws LexiconDecodingError.
EffectiveTables decodeManagedSyncResponse(QByteArrayView body) {
    const auto reply = json::parseObject(body);
    if (!reply)
        throw LexiconDecodingError(LexiconDecodingError::Problem::NotAnObject, QString());
    const LexiconJsonReader read(*reply);
    read.requiredBool(QStringLiteral("ok"));
    read.requiredInteger(QStringLiteral("storedEntryCount"));
    read.requiredInteger(QStringLiteral("sharedGlossaryTermCount"));
    const QJsonObject effective = read.requiredObject(QStringLiteral("effective"));
    return LexiconJsonReader::decodeNested(QStringLiteral("effective"), [&] {
        const LexiconJsonReader tables(effective);
        return EffectiveTables{tables.optionalString(QStringLiteral("hotwordTableID")),
                               tables.optionalString(QStringLiteral("hotwordTableName")),
                               tables.optionalString(QStringLiteral("replacementTableID")),
                               tables.optionalString(QStringLiteral("replacementTableName"))};
    });
}

// Entries follow their table as a whole; here tables go by channel.
SyncStatus managedStatus(const PersonalLexiconEntry &entry, bool hasHotwordLines,
                         bool hasReplacementLines, const PersonalLexiconCloudState &cloudState) {
    if (!entry.participatesInCloudSync())
        return SyncStatus::localOnly;
    if (entry.channel == PersonalLexiconChannel::replace) {
        const bool stored = cloudState.replacementTableID || cloudState.replacementTableName;
        return hasReplacementLines && stored ? SyncStatus::synced : SyncStatus::localOnly;
    }
    const bool stored = cloudState.hotwordTableID || cloudState.hotwordTableName;
    return hasHotwordLines && stored ? SyncStatus::synced : SyncStatus::localOnly;
}

} // namespace

QCoro::Task<PersonalLexiconSnapshot>
Service::syncViaManagedGateway(PersonalLexiconSnapshot snapshot,
                               GatewayLexiconSyncConfiguration gatewayConfiguration) const {
    return runManagedGatewaySync(*this, std::move(snapshot), std::move(gatewayConfiguration));
}

QCoro::Task<PersonalLexiconSnapshot>
Service::runManagedGatewaySync(Service service, PersonalLexiconSnapshot snapshot,
                               GatewayLexiconSyncConfiguration gatewayConfiguration) {
    QList<PersonalLexiconEntry> candidates;
    for (const PersonalLexiconEntry &entry : snapshot.entries) {
        if (entry.participatesInCloudSync())
            candidates.append(entry);
    }

    HttpRequest request;
    request.method = "POST";
    request.url = gatewayConfiguration.endpointURL;
    request.timeout = gatewayTimeout;
    request.headers.emplaceBack("Content-Type", "application/json; charset=utf-8");
    request.headers.emplaceBack("Authorization",
                                "Bearer " + gatewayConfiguration.accessToken.toUtf8());
    request.body = managedSyncRequestBody(candidates);

    HttpResponse response;
    std::optional<QString> transportFailure;
    try {
        response = co_await service.m_session->send(std::move(request));
    } catch (const std::exception &error) {
        transportFailure = describeLexiconSyncFailure(error);
    }
    if (transportFailure)
        co_return markLocalOnly(std::move(snapshot), transportFailure);
    if (response.status <= 0) {
        co_return markLocalOnly(
            std::move(snapshot),
            VolcengineSpeechLexiconSyncError::invalidResponse().localizedDescription());
    }
    if (!response.isSuccess()) {
        co_return markLocalOnly(std::move(snapshot),
                                VolcengineSpeechLexiconSyncError::requestFailed(
                                    response.status, serverMessage(response.body))
                                    .localizedDescription());
    }

    EffectiveTables effective;
    std::optional<QString> decodingFailure;
    try {
        effective = decodeManagedSyncResponse(response.body);
    } catch (const LexiconDecodingError &error) {
        decodingFailure = describeLexiconSyncFailure(error);
    }
    if (decodingFailure)
        co_return markLocalOnly(std::move(snapshot), decodingFailure);

    PersonalLexiconCloudState &cloudState = snapshot.cloudState;
    cloudState.hotwordTableID = effective.hotwordTableID;
    cloudState.hotwordTableName = effective.hotwordTableName;
    cloudState.replacementTableID = effective.replacementTableID;
    cloudState.replacementTableName = effective.replacementTableName;
    cloudState.lastSyncedAt = service.m_nowProvider();
    cloudState.lastErrorMessage = std::nullopt;

    const bool hasHotwordLines =
        !PersonalLexiconCompiler::makeHotwordFileLines(candidates).isEmpty();
    const bool hasReplacementLines =
        !PersonalLexiconCompiler::makeReplacementFileLines(candidates).isEmpty();
    for (PersonalLexiconEntry &entry : snapshot.entries)
        entry.cloudSyncStatus =
            managedStatus(entry, hasHotwordLines, hasReplacementLines, cloudState);
    co_return snapshot;
}

} // namespace tovalit
