#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "support/textkit.h"

#include <QJsonArray>

// The boosting (hot-word) and correct (replacement) table operations. Both
// families run the same steps; everything that differs between them is in
// one TableFamily value each.

namespace tovalit {

namespace {

using Service = VolcengineSpeechLexiconSyncService;
using TableReference = Service::TableReference;
using Configuration = VolcengineSpeechOpenAPIConfiguration;
using StoredField = std::optional<QString> PersonalLexiconCloudState::*;

struct TableFamily {
    QStringView version;
    QStringView listAction;
    QStringView createAction;
    QStringView updateAction;
    QStringView deleteAction;
    QStringView createNameField; // sent on create
    QStringView idField;         // sent on update and delete
    QStringView listArrayKey;
    QStringView listedIDKey;
    QStringView listedNameKey;
    // Reply keys of a create or update, read in order.
    QStringView replyIDKeys[2];
    QStringView replyNameKeys[2];
    QStringView fileName;
    StoredField storedID;
    StoredField storedName;
};

const TableFamily boostingTables{
    .version = u"2022-08-30",
    .listAction = u"ListBoostingTable",
    .createAction = u"CreateBoostingTable",
    .updateAction = u"UpdateBoostingTable",
    .deleteAction = u"DeleteBoostingTable",
    .createNameField = u"BoostingTableName",
    .idField = u"BoostingTableID",
    .listArrayKey = u"BoostingTables",
    .listedIDKey = u"BoostingTableID",
    .listedNameKey = u"BoostingTableName",
    .replyIDKeys = {u"BoostingTableID", {}},
    .replyNameKeys = {u"BoostingTableName", {}},
    .fileName = u"tovalit-hotwords.txt",
    .storedID = &PersonalLexiconCloudState::hotwordTableID,
    .storedName = &PersonalLexiconCloudState::hotwordTableName,
};

const TableFamily correctTables{
    .version = u"2023-10-30",
    .listAction = u"ListCorrectTable",
    .createAction = u"CreateCorrectTable",
    .updateAction = u"UpdateCorrectTable",
    .deleteAction = u"DeleteCorrectTable",
    .createNameField = u"TableName",
    .idField = u"TableID",
    .listArrayKey = u"CorrectTables",
    .listedIDKey = u"CorrectTableID",
    .listedNameKey = u"CorrectTableName",
    .replyIDKeys = {u"CorrectTableID", u"ID"},
    .replyNameKeys = {u"CorrectTableName", u"TableName"},
    .fileName = u"tovalit-replacements.txt",
    .storedID = &PersonalLexiconCloudState::replacementTableID,
    .storedName = &PersonalLexiconCloudState::replacementTableName,
};

// Every body repeats the action and version that also go into the query.
QJsonObject jsonPayload(QStringView action, const TableFamily &family, qint64 appID) {
    return QJsonObject{
        {QStringLiteral("Action"), action.toString()},
        {QStringLiteral("Version"), family.version.toString()},
        {QStringLiteral("AppID"), appID},
    };
}

QMap<QString, QString> formFields(QStringView action, const TableFamily &family, qint64 appID) {
    return {
        {QStringLiteral("Action"), action.toString()},
        {QStringLiteral("Version"), family.version.toString()},
        {QStringLiteral("AppID"), QString::number(appID)},
    };
}

std::optional<QString> firstString(const QJsonObject &object, const QStringView (&keys)[2]) {
    for (const QStringView key : keys) {
        if (key.isEmpty())
            continue;
        if (const QJsonValue value = object.value(key); value.isString())
            return value.toString();
    }
    return std::nullopt;
}

TableReference parseTableReference(const QJsonObject &reply, const TableFamily &family) {
    const QJsonObject result = Service::resultObject(reply);
    const auto id = firstString(result, family.replyIDKeys);
    const auto name = firstString(result, family.replyNameKeys);
    // The table was written even then, but without both we cannot refer to
    // it later.
    if (!id || !name)
        throw VolcengineSpeechLexiconSyncError::invalidResponse();
    return TableReference{*id, *name};
}

QList<TableReference> parseTableList(const QJsonObject &reply, const TableFamily &family) {
    const QJsonValue listed = Service::resultObject(reply).value(family.listArrayKey);
    const QJsonArray rows = listed.toArray();
    for (const QJsonValue &row : rows) {
        if (!row.isObject())
            return {}; // not a list of tables at all
    }
    QList<TableReference> tables;
    for (const QJsonValue &row : rows) {
        const QJsonObject table = row.toObject();
        const QJsonValue id = table.value(family.listedIDKey);
        const QJsonValue name = table.value(family.listedNameKey);
        if (id.isString() && name.isString())
            tables.append(TableReference{id.toString(), name.toString()});
    }
    return tables;
}

QCoro::Task<QList<TableReference>> listTables(Service service, TableFamily family, qint64 appID,
                                              Configuration configuration) {
    QJsonObject payload = jsonPayload(family.listAction, family, appID);
    payload.insert(QStringLiteral("PageNumber"), 1);
    payload.insert(QStringLiteral("PageSize"), 100);
    payload.insert(QStringLiteral("PreviewSize"), 10);
    const QJsonObject reply = co_await service.performJSONRequest(
        family.listAction.toString(), family.version.toString(), payload, std::move(configuration));

    co_return parseTableList(reply, family);
}

QCoro::Task<std::optional<TableReference>> resolveTable(Service service, TableFamily family,
                                                        qint64 appID,
                                                        std::optional<QString> preferredTableID,
                                                        QString tableName,
                                                        Configuration configuration) {
    const QList<TableReference> tables =
        co_await listTables(std::move(service), family, appID, std::move(configuration));
    // A stored id listed under another name belongs to someone else now (or
    // to an older namespace): never reuse it.
    if (preferredTableID) {
        for (const TableReference &table : tables) {
            if (table.id == *preferredTableID && table.name == tableName)
                co_return table;
        }
    }
    for (const TableReference &table : tables) {
        if (table.name == tableName)
            co_return table;
    }
    co_return std::nullopt;
}

QCoro::Task<TableReference> createTable(Service service, TableFamily family, qint64 appID,
                                        QString tableName, QString content,
                                        Configuration configuration) {
    QMap<QString, QString> fields = formFields(family.createAction, family, appID);
    fields.insert(family.createNameField.toString(), tableName);
    const QJsonObject reply = co_await service.performMultipartRequest(
        family.createAction.toString(), family.version.toString(), std::move(fields),
        family.fileName.toString(), std::move(content), std::move(configuration));
    co_return parseTableReference(reply, family);
}

QCoro::Task<TableReference> updateTable(Service service, TableFamily family, qint64 appID,
                                        TableReference table, QString content,
                                        Configuration configuration) {
    QMap<QString, QString> fields = formFields(family.updateAction, family, appID);
    fields.insert(family.idField.toString(), table.id);
    const QJsonObject reply = co_await service.performMultipartRequest(
        family.updateAction.toString(), family.version.toString(), std::move(fields),
        family.fileName.toString(), std::move(content), std::move(configuration));
    co_return parseTableReference(reply, family);
}

QCoro::Task<PersonalLexiconCloudState> deleteTableIfNeeded(Service service, TableFamily family,
                                                           qint64 appID, QString tableName,
                                                           PersonalLexiconCloudState cloudState,
                                                           Configuration configuration) {
    const std::optional<QString> storedID = cloudState.*family.storedID;
    const std::optional<QString> storedName = cloudState.*family.storedName;
    PersonalLexiconCloudState forgotten = cloudState;
    forgotten.*family.storedID = std::nullopt;
    forgotten.*family.storedName = std::nullopt;
    // Only a table this lexicon made under its current name is deleted; a
    // table of an older namespace may be in use elsewhere.
    if (!storedID || textkit::isBlank(*storedID) || !storedName || *storedName != tableName)
        co_return forgotten;

    QJsonObject payload = jsonPayload(family.deleteAction, family, appID);
    payload.insert(family.idField.toString(), *storedID);
    co_await service.performJSONRequest(family.deleteAction.toString(), family.version.toString(),
                                        payload, std::move(configuration));
    co_return forgotten;
}

QCoro::Task<TableReference> ensureTable(Service service, TableFamily family, qint64 appID,
                                        QStringList lines, QString tableName,
                                        PersonalLexiconCloudState cloudState,
                                        Configuration configuration) {
    const std::optional<QString> preferredTableID = cloudState.*family.storedID;
    const std::optional<TableReference> existing =
        co_await resolveTable(service, family, appID, preferredTableID, tableName, configuration);
    const QString content = lines.join(u'\n');
    if (existing)
        co_return co_await updateTable(service, family, appID, *existing, content, configuration);

    std::optional<TableReference> created;
    std::exception_ptr createFailure;
    try {
        created = co_await createTable(service, family, appID, tableName, content, configuration);
    } catch (...) {
        createFailure = std::current_exception();
    }
    if (created)
        co_return *created;
    if (!Service::isDuplicateTableNameError(createFailure))
        std::rethrow_exception(createFailure);

    // The name is taken, most likely by this lexicon's own table that the
    // stored state lost track of: look again and take it over.
    const std::optional<TableReference> taken =
        co_await resolveTable(service, family, appID, preferredTableID, tableName, configuration);
    if (!taken)
        std::rethrow_exception(createFailure);
    co_return co_await updateTable(service, family, appID, *taken, content, configuration);
}

} // namespace

// --- Boosting table ----------------------------------------------------------

QCoro::Task<QList<TableReference>> Service::listHotwordTables(qint64 appID,
                                                              Configuration configuration) const {
    return listTables(*this, boostingTables, appID, std::move(configuration));
}

QCoro::Task<std::optional<TableReference>>
Service::resolveHotwordTable(qint64 appID, std::optional<QString> preferredTableID,
                             QString tableName, Configuration configuration) const {
    return resolveTable(*this, boostingTables, appID, std::move(preferredTableID),
                        std::move(tableName), std::move(configuration));
}

QCoro::Task<TableReference> Service::createHotwordTable(qint64 appID, QString tableName,
                                                        QString content,
                                                        Configuration configuration) const {
    return createTable(*this, boostingTables, appID, std::move(tableName), std::move(content),
                       std::move(configuration));
}

QCoro::Task<TableReference> Service::updateHotwordTable(qint64 appID, TableReference table,
                                                        QString content,
                                                        Configuration configuration) const {
    return updateTable(*this, boostingTables, appID, std::move(table), std::move(content),
                       std::move(configuration));
}

QCoro::Task<PersonalLexiconCloudState>
Service::deleteHotwordTableIfNeeded(qint64 appID, QString tableName,
                                    PersonalLexiconCloudState cloudState,
                                    Configuration configuration) const {
    return deleteTableIfNeeded(*this, boostingTables, appID, std::move(tableName),
                               std::move(cloudState), std::move(configuration));
}

QCoro::Task<TableReference> Service::ensureHotwordTable(qint64 appID, QStringList lines,
                                                        QString tableName,
                                                        PersonalLexiconCloudState cloudState,
                                                        Configuration configuration) const {
    return ensureTable(*this, boostingTables, appID, std::move(lines), std::move(tableName),
                       std::move(cloudState), std::move(configuration));
}

TableReference Service::parseHotwordTableReference(const QJsonObject &reply) {
    return parseTableReference(reply, boostingTables);
}

QList<TableReference> Service::parseHotwordTableList(const QJsonObject &reply) {
    return parseTableList(reply, boostingTables);
}

// --- Correct table -----------------------------------------------------------

QCoro::Task<QList<TableReference>>
Service::listReplacementTables(qint64 appID, Configuration configuration) const {
    return listTables(*this, correctTables, appID, std::move(configuration));
}

QCoro::Task<std::optional<TableReference>>
Service::resolveReplacementTable(qint64 appID, std::optional<QString> preferredTableID,
                                 QString tableName, Configuration configuration) const {
    return resolveTable(*this, correctTables, appID, std::move(preferredTableID),
                        std::move(tableName), std::move(configuration));
}

QCoro::Task<TableReference> Service::createReplacementTable(qint64 appID, QString tableName,
                                                            QString content,
                                                            Configuration configuration) const {
    return createTable(*this, correctTables, appID, std::move(tableName), std::move(content),
                       std::move(configuration));
}

QCoro::Task<TableReference> Service::updateReplacementTable(qint64 appID, TableReference table,
                                                            QString content,
                                                            Configuration configuration) const {
    return updateTable(*this, correctTables, appID, std::move(table), std::move(content),
                       std::move(configuration));
}

QCoro::Task<PersonalLexiconCloudState>
Service::deleteReplacementTableIfNeeded(qint64 appID, QString tableName,
                                        PersonalLexiconCloudState cloudState,
                                        Configuration configuration) const {
    return deleteTableIfNeeded(*this, correctTables, appID, std::move(tableName),
                               std::move(cloudState), std::move(configuration));
}

QCoro::Task<TableReference> Service::ensureReplacementTable(qint64 appID, QStringList lines,
                                                            QString tableName,
                                                            PersonalLexiconCloudState cloudState,
                                                            Configuration configuration) const {
    return ensureTable(*this, correctTables, appID, std::move(lines), std::move(tableName),
                       std::move(cloudState), std::move(configuration));
}

TableReference Service::parseReplacementTableReference(const QJsonObject &reply) {
    return parseTableReference(reply, correctTables);
}

QList<TableReference> Service::parseReplacementTableList(const QJsonObject &reply) {
    return parseTableList(reply, correctTables);
}

// --- Shared --------------------------------------------------------------------

QJsonObject Service::resultObject(const QJsonObject &reply) {
    const QJsonValue result = reply.value(u"Result");
    if (!result.isObject())
        throw VolcengineSpeechLexiconSyncError::invalidResponse();
    return result.toObject();
}

bool Service::isDuplicateTableNameError(const std::exception_ptr &error) {
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const VolcengineSpeechLexiconSyncError &syncError) {
        return syncError.kind() == VolcengineSpeechLexiconSyncError::Kind::requestFailed &&
               syncError.message().contains(QStringLiteral("duplicated"), Qt::CaseInsensitive);
    } catch (...) {
        return false;
    }
}

} // namespace tovalit
