#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "services/lexicon/personal_lexicon_compiler.h"
#include "tests/services/learning/open_api_test_kit.h"
#include "tests/services/lexicon/lexicon_test_entries.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

inline void PrintTo(const QByteArray &bytes, std::ostream *out) {
    *out << '"' << bytes.toStdString() << '"';
}

namespace tovalit {
namespace {

using Error = VolcengineSpeechLexiconSyncError;
using Service = VolcengineSpeechLexiconSyncService;
using Table = Service::TableReference;
using testing::OpenAPICall;
using testing::PlainHttpTransport;
using testing::runTask;
using testing::StandInHttpReply;
using testing::StandInSpeechOpenAPI;

using testing::openAPIError;
const VolcengineSpeechOpenAPIConfiguration &keys = testing::openAPIKeys;
constexpr qint64 appID = 42;
const QString hotwordTable = QStringLiteral("tovalit-personal-hotwords-a1b2c3");
const QString replacementTable = QStringLiteral("tovalit-personal-replacements-a1b2c3");

class VolcengineSpeechLexiconTables : public ::testing::Test {
protected:
    QStringList actions() const { return testing::actionsOf(api.server); }
    OpenAPICall call(size_t index) const { return api.calls().at(index); }

    // The direct route's table steps for one lexicon, in the order a sync
    // takes them: hot words, then replacements, each either written whole or
    // deleted when it has no lines.
    PersonalLexiconCloudState syncTables(const QList<PersonalLexiconEntry> &entries,
                                         PersonalLexiconCloudState state) {
        QList<PersonalLexiconEntry> candidates;
        for (const PersonalLexiconEntry &entry : entries) {
            if (entry.enabled &&
                entry.learningSource != PersonalLexiconEntrySource::historyFrequency)
                candidates.append(entry);
        }
        const QStringList hotwordLines = PersonalLexiconCompiler::makeHotwordFileLines(candidates);
        const QStringList replacementLines =
            PersonalLexiconCompiler::makeReplacementFileLines(candidates);
        if (hotwordLines.isEmpty()) {
            state = runTask(service.deleteHotwordTableIfNeeded(appID, hotwordTable, state, keys));
        } else {
            const Table table =
                runTask(service.ensureHotwordTable(appID, hotwordLines, hotwordTable, state, keys));
            state.hotwordTableID = table.id;
            state.hotwordTableName = table.name;
        }
        if (replacementLines.isEmpty()) {
            state = runTask(
                service.deleteReplacementTableIfNeeded(appID, replacementTable, state, keys));
        } else {
            const Table table = runTask(service.ensureReplacementTable(
                appID, replacementLines, replacementTable, state, keys));
            state.replacementTableID = table.id;
            state.replacementTableName = table.name;
        }
        return state;
    }

    StandInSpeechOpenAPI api;
    const Service service{keys,
                          std::nullopt,
                          std::make_shared<PlainHttpTransport>(),
                          api.host(),
                          [] { return QDateTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC); },
                          [] { return QStringLiteral("Boundary-FIXED"); }};
};

TEST_F(VolcengineSpeechLexiconTables,
       FirstSyncCreatesBothTablesLaterSyncsUpdateThemAndAnEmptyLexiconDeletesThem) {
    PersonalLexiconCloudState state;
    state.syncNamespace = QStringLiteral("a1b2c3");
    ASSERT_EQ(PersonalLexiconCompiler::expectedHotwordTableName(state), hotwordTable);
    QList<PersonalLexiconEntry> entries{
        testing::hotword(QStringLiteral("Tovalit")),
        testing::replacement(QStringLiteral("托瓦利特"), QStringLiteral("Tovalit"))};

    // First sync: nothing listed, so both tables are created.
    state = syncTables(entries, state);
    ASSERT_EQ(actions(), (QStringList{"ListBoostingTable", "CreateBoostingTable",
                                      "ListCorrectTable", "CreateCorrectTable"}));
    const OpenAPICall listHotwords = call(0);
    EXPECT_EQ(listHotwords.version, QStringLiteral("2022-08-30"));
    EXPECT_EQ(listHotwords.contentType, "application/json; charset=utf-8");
    EXPECT_EQ(listHotwords.json, (QJsonObject{{"Action", "ListBoostingTable"},
                                              {"Version", "2022-08-30"},
                                              {"AppID", 42},
                                              {"PageNumber", 1},
                                              {"PageSize", 100},
                                              {"PreviewSize", 10}}));
    const OpenAPICall createHotwords = call(1);
    EXPECT_EQ(createHotwords.version, QStringLiteral("2022-08-30"));
    EXPECT_EQ(createHotwords.fieldOrder,
              (QStringList{"Action", "AppID", "BoostingTableName", "Version"}));
    EXPECT_EQ(createHotwords.fields, (QMap<QString, QString>{{"Action", "CreateBoostingTable"},
                                                             {"AppID", "42"},
                                                             {"BoostingTableName", hotwordTable},
                                                             {"Version", "2022-08-30"}}));
    EXPECT_EQ(createHotwords.fileName, QStringLiteral("tovalit-hotwords.txt"));
    EXPECT_EQ(createHotwords.fileContentType, "text/plain");
    EXPECT_EQ(createHotwords.file, "Tovalit|4");
    const OpenAPICall listReplacements = call(2);
    EXPECT_EQ(listReplacements.version, QStringLiteral("2023-10-30"));
    EXPECT_EQ(listReplacements.json.value("Action").toString(), QStringLiteral("ListCorrectTable"));
    const OpenAPICall createReplacements = call(3);
    EXPECT_EQ(createReplacements.version, QStringLiteral("2023-10-30"));
    EXPECT_EQ(createReplacements.fields, (QMap<QString, QString>{{"Action", "CreateCorrectTable"},
                                                                 {"AppID", "42"},
                                                                 {"TableName", replacementTable},
                                                                 {"Version", "2023-10-30"}}));
    EXPECT_EQ(createReplacements.fileName, QStringLiteral("tovalit-replacements.txt"));
    EXPECT_EQ(createReplacements.file, QStringLiteral("托瓦利特|Tovalit").toUtf8());
    EXPECT_EQ(state.hotwordTableID, QStringLiteral("bt-1"));
    EXPECT_EQ(state.hotwordTableName, hotwordTable);
    EXPECT_EQ(state.replacementTableID, QStringLiteral("ct-2"));
    EXPECT_EQ(state.replacementTableName, replacementTable);

    // Second sync with one more hot word: the stored tables are listed and
    // their whole content replaced; two lines, one line break, none after.
    entries.append(testing::hotword(QStringLiteral("Kovarindel"), 7));
    state = syncTables(entries, state);
    ASSERT_EQ(actions().mid(4), (QStringList{"ListBoostingTable", "UpdateBoostingTable",
                                             "ListCorrectTable", "UpdateCorrectTable"}));
    EXPECT_EQ(call(5).fields, (QMap<QString, QString>{{"Action", "UpdateBoostingTable"},
                                                      {"AppID", "42"},
                                                      {"BoostingTableID", "bt-1"},
                                                      {"Version", "2022-08-30"}}));
    EXPECT_EQ(call(5).file, "Kovarindel|7\nTovalit|4");
    EXPECT_EQ(call(7).fields.value("TableID"), QStringLiteral("ct-2"));
    EXPECT_FALSE(call(7).fields.contains("TableName"));
    EXPECT_EQ(state.hotwordTableID, QStringLiteral("bt-1"));
    ASSERT_EQ(api.tables.size(), 2u);
    EXPECT_EQ(api.tables[0].content, "Kovarindel|7\nTovalit|4");

    // Everything switched off: both tables are deleted and forgotten.
    for (PersonalLexiconEntry &entry : entries)
        entry.enabled = false;
    state = syncTables(entries, state);
    ASSERT_EQ(actions().mid(8), (QStringList{"DeleteBoostingTable", "DeleteCorrectTable"}));
    EXPECT_EQ(call(8).json, (QJsonObject{{"Action", "DeleteBoostingTable"},
                                         {"Version", "2022-08-30"},
                                         {"AppID", 42},
                                         {"BoostingTableID", "bt-1"}}));
    EXPECT_EQ(call(9).json, (QJsonObject{{"Action", "DeleteCorrectTable"},
                                         {"Version", "2023-10-30"},
                                         {"AppID", 42},
                                         {"TableID", "ct-2"}}));
    EXPECT_TRUE(api.tables.empty());
    EXPECT_FALSE(state.hotwordTableID || state.hotwordTableName || state.replacementTableID ||
                 state.replacementTableName);
    EXPECT_EQ(state.syncNamespace, QStringLiteral("a1b2c3"));

    // Nothing stored and nothing to send: no request at all.
    state = syncTables(entries, state);
    EXPECT_EQ(actions().size(), 10);
}

TEST_F(VolcengineSpeechLexiconTables, OnlyATableListedUnderTheCurrentNameIsReused) {
    api.tables = {{true, "bt-old", "tovalit-personal-hotwords-oldnamespace", {}},
                  {true, "bt-a", hotwordTable, {}},
                  {true, "bt-b", hotwordTable, {}},
                  {false, "ct-1", hotwordTable, {}}};
    const auto resolve = [&](std::optional<QString> preferred) {
        return runTask(service.resolveHotwordTable(appID, preferred, hotwordTable, keys));
    };
    // The stored id now carries another name: the table with our name wins.
    EXPECT_EQ(resolve(QStringLiteral("bt-old")), (Table{"bt-a", hotwordTable}));
    // Several with our name and none with the stored id: the first listed.
    EXPECT_EQ(resolve(QStringLiteral("bt-gone")), (Table{"bt-a", hotwordTable}));
    EXPECT_EQ(resolve(std::nullopt), (Table{"bt-a", hotwordTable}));
    // The stored id with our name beats list order.
    EXPECT_EQ(resolve(QStringLiteral("bt-b")), (Table{"bt-b", hotwordTable}));
    // Tables of the other family never count.
    EXPECT_EQ(runTask(service.resolveReplacementTable(appID, QStringLiteral("bt-a"),
                                                      replacementTable, keys)),
              std::nullopt);

    // Without a table of our name the stored id is not reused: a new table.
    api.tables.erase(api.tables.begin() + 1, api.tables.begin() + 3);
    PersonalLexiconCloudState state;
    state.hotwordTableID = QStringLiteral("bt-old");
    const Table created = runTask(service.ensureHotwordTable(appID, {QStringLiteral("Tovalit|4")},
                                                             hotwordTable, state, keys));
    EXPECT_EQ(actions().mid(5), (QStringList{"ListBoostingTable", "CreateBoostingTable"}));
    EXPECT_EQ(created.name, hotwordTable);
    EXPECT_NE(created.id, QStringLiteral("bt-old"));
}

TEST_F(VolcengineSpeechLexiconTables, ListedTablesAreReadLeniently) {
    const auto list = [&](const char *reply) {
        api.server.enqueue(StandInHttpReply::json(200, reply));
        return runTask(service.listReplacementTables(appID, keys));
    };
    EXPECT_EQ(list(R"({"Result":{"CorrectTables":[
                  {"CorrectTableID":"c1","CorrectTableName":"one"},
                  {"CorrectTableID":7,"CorrectTableName":"numeric id"},
                  {"CorrectTableID":"c3"},
                  {"CorrectTableID":"c4","CorrectTableName":"four","Preview":["a|b"]}]}})"),
              (QList<Table>{{"c1", "one"}, {"c4", "four"}}));
    EXPECT_TRUE(
        list(R"({"Result":{"CorrectTables":[{"CorrectTableID":"c1","CorrectTableName":"one"},5]}})")
            .isEmpty());
    EXPECT_TRUE(list(R"({"Result":{"CorrectTables":{"CorrectTableID":"c1"}}})").isEmpty());
    EXPECT_TRUE(
        list(R"({"Result":{"BoostingTables":[{"BoostingTableID":"b","BoostingTableName":"n"}]}})")
            .isEmpty());
    for (const char *reply :
         {R"({"ResponseMetadata":{}})", R"({"Result":[]})", R"({"Result":null})"}) {
        api.server.enqueue(StandInHttpReply::json(200, reply));
        try {
            runTask(service.listReplacementTables(appID, keys));
            ADD_FAILURE() << "accepted " << reply;
        } catch (const Error &error) {
            EXPECT_EQ(error, Error::invalidResponse()) << reply;
        }
    }
}

TEST_F(VolcengineSpeechLexiconTables, ACreateRefusedForATakenNameTakesTheListedTableOver) {
    // The first list misses the table (it appears just after), the create
    // is refused as a duplicate, the second list finds it.
    api.tables = {{true, "bt-9", hotwordTable, "old|4"}};
    api.server.enqueue(StandInHttpReply::json(200, R"({"Result":{"BoostingTables":[]}})"));
    api.server.enqueue(openAPIError(400, "BoostingTableName is duplicated"));
    const Table table = runTask(
        service.ensureHotwordTable(appID, {QStringLiteral("Tovalit|4")}, hotwordTable, {}, keys));
    EXPECT_EQ(actions(), (QStringList{"ListBoostingTable", "CreateBoostingTable",
                                      "ListBoostingTable", "UpdateBoostingTable"}));
    EXPECT_EQ(table, (Table{"bt-9", hotwordTable}));
    EXPECT_EQ(call(3).fields.value("BoostingTableID"), QStringLiteral("bt-9"));
    EXPECT_EQ(api.tables[0].content, "Tovalit|4");
}

TEST_F(VolcengineSpeechLexiconTables, OtherCreateFailuresAndAFailedSecondLookEndTheEnsure) {
    const auto ensureFailure = [&]() -> std::exception_ptr {
        try {
            runTask(service.ensureReplacementTable(appID, {QStringLiteral("a|b")}, replacementTable,
                                                   {}, keys));
        } catch (...) {
            return std::current_exception();
        }
        ADD_FAILURE() << "the ensure succeeded";
        return nullptr;
    };
    const auto rethrown = [](const std::exception_ptr &failure) -> Error {
        try {
            std::rethrow_exception(failure);
        } catch (const Error &error) {
            return error;
        }
    };

    // The word in any case, inside a 2xx error object: still a taken name.
    // The second list cannot see the table either, so the create's error
    // is the result.
    api.server.enqueue(StandInHttpReply::json(200, R"({"Result":{"CorrectTables":[]}})"));
    api.server.enqueue(openAPIError(200, "Table Name DUPLICATED"));
    const std::exception_ptr notFoundAgain = ensureFailure();
    EXPECT_EQ(rethrown(notFoundAgain), Error::requestFailed(200, "Table Name DUPLICATED"));
    EXPECT_EQ(actions(),
              (QStringList{"ListCorrectTable", "CreateCorrectTable", "ListCorrectTable"}));

    // The second list fails: its failure replaces the create's.
    api.server.enqueue(StandInHttpReply::json(200, R"({"Result":{"CorrectTables":[]}})"));
    api.server.enqueue(openAPIError(409, "duplicated"));
    api.server.enqueue(StandInHttpReply::text(503, "busy\n"));
    EXPECT_EQ(rethrown(ensureFailure()), Error::requestFailed(503, "busy"));
    EXPECT_EQ(actions().size(), 6);

    // Any other failure, whatever its status, ends the ensure at once.
    api.server.enqueue(StandInHttpReply::json(200, R"({"Result":{"CorrectTables":[]}})"));
    api.server.enqueue(openAPIError(409, "quota exceeded"));
    EXPECT_EQ(rethrown(ensureFailure()), Error::requestFailed(409, "quota exceeded"));
    EXPECT_EQ(actions().size(), 8);

    // A written table whose reply lacks its name cannot be referred to.
    api.server.enqueue(StandInHttpReply::json(200, R"({"Result":{"CorrectTables":[]}})"));
    api.server.enqueue(StandInHttpReply::json(200, R"({"Result":{"CorrectTableID":"c1"}})"));
    EXPECT_EQ(rethrown(ensureFailure()), Error::invalidResponse());

    EXPECT_FALSE(Service::isDuplicateTableNameError(nullptr));
    EXPECT_FALSE(Service::isDuplicateTableNameError(std::make_exception_ptr(
        HttpTransportError(HttpTransportError::Kind::Other, QStringLiteral("duplicated")))));
}

TEST_F(VolcengineSpeechLexiconTables, OnlyThisLexiconsStoredTableIsDeleted) {
    PersonalLexiconCloudState state;
    state.hotwordTableID = QStringLiteral("bt-1");
    state.hotwordTableName = hotwordTable;
    const auto deleteWith = [&](std::optional<QString> id, std::optional<QString> name) {
        PersonalLexiconCloudState stored = state;
        stored.replacementTableID = id;
        stored.replacementTableName = name;
        const PersonalLexiconCloudState result =
            runTask(service.deleteReplacementTableIfNeeded(appID, replacementTable, stored, keys));
        EXPECT_FALSE(result.replacementTableID || result.replacementTableName);
        EXPECT_EQ(result.hotwordTableID, state.hotwordTableID) << "the other table is untouched";
        EXPECT_EQ(result.hotwordTableName, state.hotwordTableName);
    };
    deleteWith(QStringLiteral(" \t\n"), replacementTable);
    deleteWith(QStringLiteral("ct-1"), QStringLiteral("tovalit-personal-replacements-older"));
    deleteWith(QStringLiteral("ct-1"), std::nullopt);
    deleteWith(std::nullopt, replacementTable);
    EXPECT_TRUE(api.server.requests().empty());

    api.tables = {{false, " ct-7 ", replacementTable, "a|b"}};
    deleteWith(QStringLiteral(" ct-7 "), replacementTable);
    ASSERT_EQ(actions(), QStringList{"DeleteCorrectTable"});
    EXPECT_EQ(call(0).json.value("TableID").toString(), QStringLiteral(" ct-7 "))
        << "sent as stored, not trimmed";

    // A failed delete forgets nothing: the caller keeps its state.
    PersonalLexiconCloudState stored = state;
    stored.replacementTableID = QStringLiteral("ct-8");
    stored.replacementTableName = replacementTable;
    api.server.enqueue(openAPIError(500, "internal"));
    EXPECT_THROW(
        runTask(service.deleteReplacementTableIfNeeded(appID, replacementTable, stored, keys)),
        Error);
}

TEST(VolcengineSpeechLexiconTableReferences, RepliesOfCreateAndUpdateAreReadPerFamily) {
    const auto object = [](const char *json) { return QJsonDocument::fromJson(json).object(); };
    EXPECT_EQ(Service::parseReplacementTableReference(
                  object(R"({"Result":{"ID":"c1","TableName":"n"}})")),
              (Table{"c1", "n"}));
    EXPECT_EQ(
        Service::parseReplacementTableReference(object(
            R"({"Result":{"CorrectTableID":5,"ID":"c1","CorrectTableName":"m","TableName":"n"}})")),
        (Table{"c1", "m"}));
    EXPECT_EQ(Service::parseHotwordTableReference(
                  object(R"({"Result":{"BoostingTableID":"b1","BoostingTableName":"n"}})")),
              (Table{"b1", "n"}));
    for (const char *reply :
         {R"({"Result":{"BoostingTableID":"b1"}})", R"({"Result":{"ID":"b1","TableName":"n"}})",
          R"({"BoostingTableID":"b1","BoostingTableName":"n"})", R"({"Result":"b1"})"}) {
        EXPECT_THROW(Service::parseHotwordTableReference(object(reply)), Error) << reply;
    }
}

} // namespace
} // namespace tovalit
