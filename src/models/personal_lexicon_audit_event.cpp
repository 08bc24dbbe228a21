#include "models/personal_lexicon_audit_event.h"

#include "models/lexicon_json_reader.h"
#include "support/json_text.h"
#include "support/uuid_text.h"

#include <QJsonArray>

namespace tovalit {

namespace {

void insertUuid(QJsonObject &object, const QString &key, const std::optional<QUuid> &value) {
    if (value)
        object.insert(key, uuidtext::upper(*value));
}

void insertBool(QJsonObject &object, const QString &key, const std::optional<bool> &value) {
    if (value)
        object.insert(key, *value);
}

void insertInteger(QJsonObject &object, const QString &key, const std::optional<qint64> &value) {
    if (value)
        object.insert(key, *value);
}

void insertStrings(QJsonObject &object, const QString &key,
                   const std::optional<QStringList> &value) {
    if (value)
        object.insert(key, QJsonArray::fromStringList(*value));
}

} // namespace

QJsonObject PersonalLexiconAuditEvent::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("action"), action);
    insertUuid(object, QStringLiteral("entryID"), entryID);
    json::insertIfPresent(object, QStringLiteral("entryKind"), entryKind);
    json::insertIfPresent(object, QStringLiteral("entryChannel"), entryChannel);
    json::insertIfPresent(object, QStringLiteral("entrySharingScope"), entrySharingScope);
    json::insertIfPresent(object, QStringLiteral("sourceText"), sourceText);
    json::insertIfPresent(object, QStringLiteral("targetText"), targetText);
    insertBool(object, QStringLiteral("enabled"), enabled);
    json::insertIfPresent(object, QStringLiteral("cloudSyncStatus"), cloudSyncStatus);
    object.insert(QStringLiteral("entryCount"), entryCount);
    json::insertIfPresent(object, QStringLiteral("syncNamespace"), syncNamespace);
    json::insertIfPresent(object, QStringLiteral("hotwordTableName"), hotwordTableName);
    json::insertIfPresent(object, QStringLiteral("replacementTableName"), replacementTableName);
    json::insertIfPresent(object, QStringLiteral("lastErrorMessage"), lastErrorMessage);
    insertUuid(object, QStringLiteral("observedSessionID"), observedSessionID);
    json::insertIfPresent(object, QStringLiteral("observedOriginalInsertedText"),
                          observedOriginalInsertedText);
    json::insertIfPresent(object, QStringLiteral("observedOriginalFieldText"),
                          observedOriginalFieldText);
    json::insertIfPresent(object, QStringLiteral("observedFinalFieldText"), observedFinalFieldText);
    json::insertIfPresent(object, QStringLiteral("observedAppName"), observedAppName);
    json::insertIfPresent(object, QStringLiteral("observedWindowTitle"), observedWindowTitle);
    insertBool(object, QStringLiteral("aiShouldLearn"), aiShouldLearn);
    json::insertIfPresent(object, QStringLiteral("aiSummary"), aiSummary);
    insertInteger(object, QStringLiteral("aiCandidateCount"), aiCandidateCount);
    insertInteger(object, QStringLiteral("aiNormalizedCandidateCount"), aiNormalizedCandidateCount);
    if (aiCandidates) {
        QJsonArray candidates;
        for (const PersonalLexiconAuditCandidate &candidate : *aiCandidates)
            candidates.append(candidate.toJson());
        object.insert(QStringLiteral("aiCandidates"), candidates);
    }
    json::insertIfPresent(object, QStringLiteral("aiRawResponseText"), aiRawResponseText);
    insertStrings(object, QStringLiteral("aiJSONCandidates"), aiJSONCandidates);
    insertStrings(object, QStringLiteral("learnedReplacements"), learnedReplacements);
    insertStrings(object, QStringLiteral("learnedHotwords"), learnedHotwords);
    insertStrings(object, QStringLiteral("promotedBoostTerms"), promotedBoostTerms);
    json::insertIfPresent(object, QStringLiteral("toastMessage"), toastMessage);
    json::insertIfPresent(object, QStringLiteral("skipReason"), skipReason);
    json::insertDate(object, QStringLiteral("timestamp"), timestamp);
    return object;
}

PersonalLexiconAuditEvent PersonalLexiconAuditEvent::fromJson(const QJsonObject &object) {
    const LexiconJsonReader read(object);
    PersonalLexiconAuditEvent event;
    event.action = read.requiredString(QStringLiteral("action"));
    event.entryID = read.optionalUuid(QStringLiteral("entryID"));
    event.entryKind = read.optionalString(QStringLiteral("entryKind"));
    event.entryChannel = read.optionalString(QStringLiteral("entryChannel"));
    event.entrySharingScope = read.optionalString(QStringLiteral("entrySharingScope"));
    event.sourceText = read.optionalString(QStringLiteral("sourceText"));
    event.targetText = read.optionalString(QStringLiteral("targetText"));
    event.enabled = read.optionalBool(QStringLiteral("enabled"));
    event.cloudSyncStatus = read.optionalString(QStringLiteral("cloudSyncStatus"));
    event.entryCount = read.requiredInteger(QStringLiteral("entryCount"));
    event.syncNamespace = read.optionalString(QStringLiteral("syncNamespace"));
    event.hotwordTableName = read.optionalString(QStringLiteral("hotwordTableName"));
    event.replacementTableName = read.optionalString(QStringLiteral("replacementTableName"));
    event.lastErrorMessage = read.optionalString(QStringLiteral("lastErrorMessage"));
    event.observedSessionID = read.optionalUuid(QStringLiteral("observedSessionID"));
    event.observedOriginalInsertedText =
        read.optionalString(QStringLiteral("observedOriginalInsertedText"));
    event.observedOriginalFieldText =
        read.optionalString(QStringLiteral("observedOriginalFieldText"));
    event.observedFinalFieldText = read.optionalString(QStringLiteral("observedFinalFieldText"));
    event.observedAppName = read.optionalString(QStringLiteral("observedAppName"));
    event.observedWindowTitle = read.optionalString(QStringLiteral("observedWindowTitle"));
    event.aiShouldLearn = read.optionalBool(QStringLiteral("aiShouldLearn"));
    event.aiSummary = read.optionalString(QStringLiteral("aiSummary"));
    event.aiCandidateCount = read.optionalInteger(QStringLiteral("aiCandidateCount"));
    event.aiNormalizedCandidateCount =
        read.optionalInteger(QStringLiteral("aiNormalizedCandidateCount"));
    const QString candidatesKey = QStringLiteral("aiCandidates");
    if (const auto candidates = read.optionalArray(candidatesKey)) {
        QList<PersonalLexiconAuditCandidate> list;
        for (qsizetype i = 0; i < candidates->size(); ++i) {
            const QString location = candidatesKey + u'[' + QString::number(i) + u']';
            const QJsonObject candidate =
                LexiconJsonReader::objectElement(candidates->at(i), location);
            list.append(LexiconJsonReader::decodeNested(
                location, [&] { return PersonalLexiconAuditCandidate::fromJson(candidate); }));
        }
        event.aiCandidates = std::move(list);
    }
    event.aiRawResponseText = read.optionalString(QStringLiteral("aiRawResponseText"));
    event.aiJSONCandidates = read.optionalStringList(QStringLiteral("aiJSONCandidates"));
    event.learnedReplacements = read.optionalStringList(QStringLiteral("learnedReplacements"));
    event.learnedHotwords = read.optionalStringList(QStringLiteral("learnedHotwords"));
    event.promotedBoostTerms = read.optionalStringList(QStringLiteral("promotedBoostTerms"));
    event.toastMessage = read.optionalString(QStringLiteral("toastMessage"));
    event.skipReason = read.optionalString(QStringLiteral("skipReason"));
    event.timestamp = read.requiredDate(QStringLiteral("timestamp"));
    return event;
}

} // namespace tovalit
