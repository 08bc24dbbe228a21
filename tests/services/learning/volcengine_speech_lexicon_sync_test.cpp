#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "support/regex.h"
#include "tests/services/learning/open_api_test_kit.h"
#include "tests/services/lexicon/lexicon_test_entries.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using Service = VolcengineSpeechLexiconSyncService;
using Kind = PersonalLexiconEntryKind;
using Source = PersonalLexiconEntrySource;
using Status = PersonalLexiconCloudSyncStatus;
using testing::makeEntry;
using testing::OpenAPICall;
using testing::PlainHttpTransport;
using testing::runTask;
using testing::StandInHttpReply;
using testing::StandInHttpServer;
using testing::StandInSpeechOpenAPI;

using testing::openAPIError;
const VolcengineSpeechOpenAPIConfiguration &keys = testing::openAPIKeys;
const QDateTime syncTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC);
const QDateTime earlier(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
const QString hotwordTable = u"tovalit-personal-hotwords-a1b2c3"_s;
const QString replacementTable = u"tovalit-personal-replacements-a1b2c3"_s;
const QString connectionLost =
    u"个人词库同步失败：无法连接服务器，或连接在收到回复前中断。请检查网络后点击“立即同步”重试。"_s;

// The stand-in's transport, except that the requests of one action never
// reach it: they fail like a connection the network dropped.
class UnreachableActionTransport final : public HttpTransport {
public:
    QCoro::Task<HttpResponse> send(HttpRequest request) override {
        if (timesOut)
            return timedOut();
        if (!unreachableAction.isEmpty() &&
            request.url.query().contains(u"Action="_s + unreachableAction))
            return failed();
        return plain.send(std::move(request));
    }

    QString unreachableAction;
    // Every request waits past its time-out, as Qt reports it.
    bool timesOut = false;
    PlainHttpTransport plain;

private:
    static QCoro::Task<HttpResponse> timedOut() {
        throw HttpTransportError(HttpTransportError::Kind::TimedOut, u"Operation canceled"_s);
        co_return HttpResponse{};
    }
    static QCoro::Task<HttpResponse> failed() {
        throw HttpTransportError(HttpTransportError::Kind::NotConnected,
                                 u"the connection was reset"_s);
        co_return HttpResponse{};
    }
};

// A lexicon with one of everything the sync distinguishes.
struct Lexicon {
    PersonalLexiconEntry hotword = testing::hotword(u"Tovalit"_s);
    PersonalLexiconEntry replacement = testing::replacement(u"托瓦利特"_s, u"Tovalit"_s);
    PersonalLexiconEntry history =
        makeEntry({.target = u"Corvix"_s, .learning = Source::historyFrequency, .hits = 5});
    PersonalLexiconEntry disabled = makeEntry({.target = u"Kovarindel"_s, .enabled = false});

    Lexicon() {
        history.cloudSyncStatus = Status::pending;
        disabled.cloudSyncStatus = Status::synced;
    }

    PersonalLexiconSnapshot snapshot() const {
        PersonalLexiconSnapshot snapshot;
        snapshot.entries = {hotword, replacement, history, disabled};
        snapshot.cloudState.syncNamespace = u"A1-B2_c3"_s;
        snapshot.cloudState.lastErrorMessage = u"上次的错误"_s;
        snapshot.historyLearningState.processedRecordIDs = {QUuid::createUuid()};
        snapshot.historyLearningState.ignoredNormalizedTerms = {u"东西"_s};
        return snapshot;
    }
};

QList<Status> statusesOf(const PersonalLexiconSnapshot &snapshot) {
    QList<Status> statuses;
    for (const PersonalLexiconEntry &entry : snapshot.entries)
        statuses.append(entry.cloudSyncStatus);
    return statuses;
}

// Everything but the statuses stays as it was.
void expectEntriesUnchangedButStatus(const PersonalLexiconSnapshot &before,
                                     const PersonalLexiconSnapshot &after) {
    ASSERT_EQ(before.entries.size(), after.entries.size());
    for (qsizetype index = 0; index < before.entries.size(); ++index) {
        PersonalLexiconEntry expected = before.entries.at(index);
        expected.cloudSyncStatus = after.entries.at(index).cloudSyncStatus;
        EXPECT_EQ(after.entries.at(index), expected) << "entry " << index;
    }
    EXPECT_EQ(after.historyLearningState, before.historyLearningState);
}

class VolcengineSpeechLexiconSyncTest : public ::testing::Test {
protected:
    Service service(std::optional<VolcengineSpeechOpenAPIConfiguration> configuration = keys,
                    std::optional<GatewayLexiconSyncConfiguration> gateway = std::nullopt) const {
        return Service(
            std::move(configuration), std::move(gateway), transport, api.host(),
            [] { return syncTime; }, [] { return u"Boundary-FIXED"_s; });
    }

    PersonalLexiconSnapshot sync(const PersonalLexiconSnapshot &snapshot,
                                 const QString &appID = u"0042"_s) {
        return runTask(service().sync(snapshot, appID));
    }

    QStringList actions() const { return testing::actionsOf(api.server); }

    std::shared_ptr<UnreachableActionTransport> transport =
        std::make_shared<UnreachableActionTransport>();
    StandInSpeechOpenAPI api;
};

TEST_F(VolcengineSpeechLexiconSyncTest, FirstSyncThenUpdateThenEverythingOff) {
    Lexicon lexicon;
    const PersonalLexiconSnapshot start = lexicon.snapshot();

    // First sync: both tables are created under the namespace's names.
    const PersonalLexiconSnapshot first = sync(start);
    EXPECT_EQ(actions(), (QStringList{u"ListBoostingTable"_s, u"CreateBoostingTable"_s,
                                      u"ListCorrectTable"_s, u"CreateCorrectTable"_s}));
    const std::vector<OpenAPICall> calls = api.calls();
    EXPECT_EQ(calls[0].json.value(u"AppID"_s), 42);
    EXPECT_EQ(calls[1].fields.value(u"BoostingTableName"_s), hotwordTable);
    EXPECT_EQ(calls[1].file, "Tovalit|4");
    EXPECT_EQ(calls[3].fields.value(u"TableName"_s), replacementTable);
    EXPECT_EQ(calls[3].file, u"托瓦利特|Tovalit"_s.toUtf8());
    testing::expectValidSignature(api.server.requests().at(1), keys.accessKeyID.toUtf8(),
                                  keys.secretAccessKey.toUtf8());

    PersonalLexiconCloudState expected;
    expected.syncNamespace = u"a1b2c3"_s;
    expected.hotwordTableID = u"bt-1"_s;
    expected.hotwordTableName = hotwordTable;
    expected.replacementTableID = u"ct-2"_s;
    expected.replacementTableName = replacementTable;
    expected.lastSyncedAt = syncTime;
    EXPECT_EQ(first.cloudState, expected);
    EXPECT_EQ(statusesOf(first), (QList<Status>{Status::synced, Status::synced, Status::localOnly,
                                                Status::localOnly}));
    expectEntriesUnchangedButStatus(start, first);

    // An update: the stored tables are found and rewritten whole.
    PersonalLexiconSnapshot grown = first;
    grown.entries.append(testing::hotword(u"MivoPad"_s, 7));
    const PersonalLexiconSnapshot second = sync(grown, u"+42"_s);
    EXPECT_EQ(actions().mid(4), (QStringList{u"ListBoostingTable"_s, u"UpdateBoostingTable"_s,
                                             u"ListCorrectTable"_s, u"UpdateCorrectTable"_s}));
    EXPECT_EQ(api.calls()[5].fields.value(u"BoostingTableID"_s), u"bt-1"_s);
    EXPECT_EQ(api.tables.at(0).content, "MivoPad|7\nTovalit|4");
    EXPECT_EQ(second.cloudState, expected);
    EXPECT_EQ(second.entries.last().cloudSyncStatus, Status::synced);

    // Everything off: both tables are deleted and forgotten, every entry is
    // local only.
    PersonalLexiconSnapshot off = second;
    for (PersonalLexiconEntry &entry : off.entries)
        entry.enabled = false;
    const PersonalLexiconSnapshot third = sync(off);
    EXPECT_EQ(actions().mid(8), (QStringList{u"DeleteBoostingTable"_s, u"DeleteCorrectTable"_s}));
    EXPECT_TRUE(api.tables.empty());
    PersonalLexiconCloudState cleared;
    cleared.syncNamespace = u"a1b2c3"_s;
    cleared.lastSyncedAt = syncTime;
    EXPECT_EQ(third.cloudState, cleared);
    EXPECT_EQ(statusesOf(third), QList<Status>(5, Status::localOnly));

    // Nothing stored and nothing to send: no request, a clean sync.
    PersonalLexiconSnapshot idle = third;
    idle.cloudState.lastSyncedAt = earlier;
    idle.cloudState.lastErrorMessage = u"旧错误"_s;
    EXPECT_EQ(sync(idle).cloudState, cleared);
    EXPECT_EQ(actions().size(), 10);
}

TEST_F(VolcengineSpeechLexiconSyncTest, FailedStepsEndInTheSnapshotsErrorMessage) {
    Lexicon lexicon;
    PersonalLexiconSnapshot stored = lexicon.snapshot();
    stored.cloudState.syncNamespace = u"a1b2c3"_s;
    stored.cloudState.hotwordTableID = u"bt-old"_s;
    stored.cloudState.hotwordTableName = hotwordTable;
    stored.cloudState.lastSyncedAt = earlier;
    const QString serverFailure = u"火山云词库同步失败（500）：service busy"_s;

    // The hot-word step fails, the replacement step still runs.
    api.server.enqueue(openAPIError(500, "service busy"));
    const PersonalLexiconSnapshot hotwordsFailed = sync(stored);
    EXPECT_EQ(actions(), (QStringList{u"ListBoostingTable"_s, u"ListCorrectTable"_s,
                                      u"CreateCorrectTable"_s}));
    EXPECT_EQ(hotwordsFailed.cloudState.lastErrorMessage, serverFailure);
    EXPECT_EQ(hotwordsFailed.cloudState.hotwordTableID, u"bt-old"_s);
    EXPECT_EQ(hotwordsFailed.cloudState.hotwordTableName, hotwordTable);
    EXPECT_EQ(hotwordsFailed.cloudState.replacementTableID, u"ct-1"_s);
    EXPECT_EQ(hotwordsFailed.cloudState.lastSyncedAt, syncTime);
    EXPECT_EQ(statusesOf(hotwordsFailed), (QList<Status>{Status::failed, Status::synced,
                                                         Status::localOnly, Status::localOnly}));
    expectEntriesUnchangedButStatus(stored, hotwordsFailed);

    // Both fail: the hot-word failure is the one kept.
    api.server.enqueue(openAPIError(500, "service busy"));
    api.server.enqueue(StandInHttpReply::json(403, R"({"message":"denied"})"));
    const PersonalLexiconSnapshot bothFailed = sync(stored);
    EXPECT_EQ(bothFailed.cloudState.lastErrorMessage, serverFailure);
    EXPECT_EQ(statusesOf(bothFailed), (QList<Status>{Status::failed, Status::failed,
                                                     Status::localOnly, Status::localOnly}));
    EXPECT_EQ(bothFailed.cloudState.replacementTableID, std::nullopt);

    // Only replacements, and their table cannot be reached at all.
    PersonalLexiconSnapshot replacementsOnly = stored;
    replacementsOnly.cloudState.hotwordTableID = std::nullopt;
    replacementsOnly.entries.removeAt(0);
    const qsizetype before = api.server.requests().size();
    transport->unreachableAction = u"ListCorrectTable"_s;
    const PersonalLexiconSnapshot unreachable = sync(replacementsOnly);
    transport->unreachableAction.clear();
    EXPECT_EQ(api.server.requests().size(), before);
    // The network's fault, in the interface's words.
    EXPECT_EQ(unreachable.cloudState.lastErrorMessage, connectionLost);
    EXPECT_EQ(statusesOf(unreachable),
              (QList<Status>{Status::failed, Status::localOnly, Status::localOnly}));

    // A delete that fails keeps the table it could not delete.
    PersonalLexiconSnapshot emptied = stored;
    emptied.entries = {lexicon.disabled};
    api.server.enqueue(openAPIError(404, "no such table"));
    const PersonalLexiconSnapshot deleteFailed = sync(emptied);
    EXPECT_EQ(actions().mid(actions().size() - 1), QStringList{u"DeleteBoostingTable"_s});
    EXPECT_EQ(deleteFailed.cloudState.hotwordTableID, u"bt-old"_s);
    EXPECT_EQ(deleteFailed.cloudState.hotwordTableName, hotwordTable);
    EXPECT_EQ(deleteFailed.cloudState.lastErrorMessage,
              u"火山云词库同步失败（404）：no such table"_s);
    EXPECT_EQ(statusesOf(deleteFailed), QList<Status>{Status::localOnly});
}

TEST_F(VolcengineSpeechLexiconSyncTest, PreconditionsStopBeforeAnyRequest) {
    Lexicon lexicon;
    PersonalLexiconSnapshot start = lexicon.snapshot();
    start.cloudState.syncNamespace = std::nullopt;
    start.cloudState.lastSyncedAt = earlier;
    start.cloudState.hotwordTableID = u"bt-9"_s;

    const auto expectStopped = [&](const PersonalLexiconSnapshot &result, const QString &message,
                                   const std::string &name) {
        EXPECT_EQ(result.cloudState.lastErrorMessage, message) << name;
        EXPECT_EQ(result.cloudState.lastSyncedAt, earlier) << name;
        EXPECT_EQ(result.cloudState.hotwordTableID, u"bt-9"_s) << name;
        // A fresh namespace is generated and kept.
        EXPECT_TRUE(textkit::Regex(u"[0-9a-f]{32}"_s)
                        .matchesEntirely(result.cloudState.syncNamespace.value_or(QString())))
            << name;
        // Only what would have been synchronised turns local; the disabled
        // and the history entries keep their statuses.
        EXPECT_EQ(statusesOf(result), (QList<Status>{Status::localOnly, Status::localOnly,
                                                     Status::pending, Status::synced}))
            << name;
        expectEntriesUnchangedButStatus(start, result);
    };

    expectStopped(runTask(service(std::nullopt).sync(start, u"42"_s)),
                  u"火山云热词同步未配置 AK/SK。"_s, "no keys");
    for (const QString &appID : {u"0"_s, u"-7"_s, u" 42"_s, u"42 "_s, u""_s, u"4 2"_s, u"0x2A"_s,
                                 u"４２"_s, u"9223372036854775808"_s}) {
        expectStopped(sync(start, appID), u"Vellup语音 AppID 无效，无法同步个人词库。"_s,
                      "app id \"" + appID.toStdString() + '"');
    }
    EXPECT_TRUE(api.server.requests().empty());

    EXPECT_EQ(Service::parseAppID(u"+42"_s), 42);
    EXPECT_EQ(Service::parseAppID(u"0042"_s), 42);
    EXPECT_EQ(Service::parseAppID(u"9223372036854775807"_s), 9223372036854775807LL);
}

// --- The managed gateway ------------------------------------------------------

class ManagedGatewayLexiconSyncTest : public VolcengineSpeechLexiconSyncTest {
protected:
    PersonalLexiconSnapshot syncViaGateway(const PersonalLexiconSnapshot &snapshot,
                                           StandInHttpReply reply) {
        gateway.enqueue(std::move(reply));
        const GatewayLexiconSyncConfiguration configuration{
            gateway.url(u"/api/proxy/lexicon-sync"_s), u"session-token"_s};
        // Neither keys nor a usable app id are needed on this route.
        return runTask(service(std::nullopt, configuration).sync(snapshot, QString()));
    }

    StandInHttpServer gateway;
};

TEST_F(ManagedGatewayLexiconSyncTest, SendsTheCandidatesInOneEnvelope) {
    Lexicon lexicon;
    const QUuid hotwordID = QUuid::fromString(u"{7D444840-9DC0-11D1-B245-5FFDCE74FAD2}"_s);
    lexicon.hotword = PersonalLexiconEntry(hotwordID, Kind::hotword, std::nullopt,
                                           PersonalLexiconSharingScope::sharedGlossaryPublished,
                                           std::nullopt, u"Tovalit"_s, Source::manual, 3, true,
                                           Status::pending, earlier, earlier, std::nullopt);
    PersonalLexiconEntry emptySource = testing::replacement(u" "_s, u"Cedrix"_s);
    PersonalLexiconSnapshot snapshot = lexicon.snapshot();
    snapshot.entries.append(emptySource);

    const PersonalLexiconSnapshot result = syncViaGateway(
        snapshot,
        StandInHttpReply::json(200, R"({"ok":true,"storedEntryCount":3,"sharedGlossaryTermCount":1,
            "effective":{"hotwordTableID":"bt-7","hotwordTableName":"managed-hotwords",
                         "replacementTableID":"ct-7","replacementTableName":null}})"));

    ASSERT_EQ(gateway.requests().size(), 1u);
    const testing::RecordedHttpRequest &request = gateway.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/proxy/lexicon-sync");
    EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(request.header("Authorization"), "Bearer session-token");
    const QString replacementID = lexicon.replacement.id().toString(QUuid::WithoutBraces);
    const QString emptySourceID = emptySource.id().toString(QUuid::WithoutBraces);
    EXPECT_EQ(
        QString::fromUtf8(request.body),
        uR"({"kind":"managed","entries":[)"_s
        uR"({"entryId":"7d444840-9dc0-11d1-b245-5ffdce74fad2","channel":"boost","sharingScope":"sharedGlossaryPublished","targetText":"Tovalit","enabled":true},)"_s +
            uR"({"entryId":")"_s + replacementID +
            uR"(","channel":"replace","sharingScope":"userPrivate","sourceText":"托瓦利特","targetText":"Tovalit","enabled":true},)"_s +
            uR"({"entryId":")"_s + emptySourceID +
            uR"(","channel":"replace","sharingScope":"userPrivate","sourceText":"","targetText":"Cedrix","enabled":true}]})"_s);
    EXPECT_TRUE(api.server.requests().empty());

    PersonalLexiconCloudState expected = snapshot.cloudState;
    expected.syncNamespace = u"a1b2c3"_s;
    expected.hotwordTableID = u"bt-7"_s;
    expected.hotwordTableName = u"managed-hotwords"_s;
    expected.replacementTableID = u"ct-7"_s;
    expected.lastSyncedAt = syncTime;
    expected.lastErrorMessage = std::nullopt;
    EXPECT_EQ(result.cloudState, expected);
    EXPECT_EQ(statusesOf(result), (QList<Status>{Status::synced, Status::synced, Status::localOnly,
                                                 Status::localOnly, Status::synced}));
    expectEntriesUnchangedButStatus(snapshot, result);
}

TEST_F(ManagedGatewayLexiconSyncTest, RepliesMapOntoTheSnapshot) {
    Lexicon lexicon;
    PersonalLexiconSnapshot stored = lexicon.snapshot();
    stored.cloudState.syncNamespace = u"a1b2c3"_s;
    stored.cloudState.hotwordTableID = u"bt-1"_s;
    stored.cloudState.replacementTableName = u"ct-name"_s;
    stored.cloudState.lastSyncedAt = earlier;

    struct Case {
        const char *name;
        StandInHttpReply reply;
        bool succeeds;
        QString errorContains;
        QList<Status> statuses;
    };
    const QList<Status> allLocal{Status::localOnly, Status::localOnly, Status::pending,
                                 Status::synced};
    const Case cases[] = {
        {"empty effective tables clear the stored ones",
         StandInHttpReply::json(
             200, R"({"ok":true,"storedEntryCount":0,"sharedGlossaryTermCount":0,"effective":{}})"),
         true,
         {},
         {Status::localOnly, Status::localOnly, Status::localOnly, Status::localOnly}},
        {"only a hot-word table",
         StandInHttpReply::json(
             200,
             R"({"ok":false,"storedEntryCount":2,"sharedGlossaryTermCount":0,"effective":{"hotwordTableName":"h"},"extra":1})"),
         true,
         {},
         {Status::synced, Status::localOnly, Status::localOnly, Status::localOnly}},
        {"ok missing",
         StandInHttpReply::json(
             200, R"({"storedEntryCount":2,"sharedGlossaryTermCount":0,"effective":{}})"),
         false, u"ok"_s, allLocal},
        {"ok as text",
         StandInHttpReply::json(
             200,
             R"({"ok":"true","storedEntryCount":2,"sharedGlossaryTermCount":0,"effective":{}})"),
         false, u"ok"_s, allLocal},
        {"count as a fraction",
         StandInHttpReply::json(
             200,
             R"({"ok":true,"storedEntryCount":2.5,"sharedGlossaryTermCount":0,"effective":{}})"),
         false, u"storedEntryCount"_s, allLocal},
        {"table id as a number",
         StandInHttpReply::json(
             200,
             R"({"ok":true,"storedEntryCount":2,"sharedGlossaryTermCount":0,"effective":{"hotwordTableID":7}})"),
         false, u"effective.hotwordTableID"_s, allLocal},
        {"not JSON", StandInHttpReply::text(200, "OK"), false,
         u"个人词库同步失败：服务器的回复不完整或不是有效的 JSON"_s, allLocal},
        {"cut short", StandInHttpReply::json(200, R"({"ok":true,"storedEntryCount":2,"sharedGlo)"),
         false, u"个人词库同步失败：服务器的回复不完整或不是有效的 JSON"_s, allLocal},
        {"expired session",
         StandInHttpReply::json(401, R"({"error":"invalid_token","message":"token expired"})"),
         false,
         uR"(火山云词库同步失败（401）：{"error":"invalid_token","message":"token expired"})"_s,
         allLocal},
        {"gateway down", StandInHttpReply::text(502, "  upstream unavailable\n"), false,
         u"火山云词库同步失败（502）：upstream unavailable"_s, allLocal},
    };
    for (const Case &c : cases) {
        const PersonalLexiconSnapshot result = syncViaGateway(stored, c.reply);
        EXPECT_EQ(statusesOf(result), c.statuses) << c.name;
        expectEntriesUnchangedButStatus(stored, result);
        if (c.succeeds) {
            EXPECT_EQ(result.cloudState.lastErrorMessage, std::nullopt) << c.name;
            EXPECT_EQ(result.cloudState.lastSyncedAt, syncTime) << c.name;
            EXPECT_EQ(result.cloudState.hotwordTableID, std::nullopt) << c.name;
            EXPECT_EQ(result.cloudState.replacementTableName, std::nullopt) << c.name;
        } else {
            ASSERT_TRUE(result.cloudState.lastErrorMessage) << c.name;
            EXPECT_FALSE(result.cloudState.lastErrorMessage->isEmpty()) << c.name;
            EXPECT_TRUE(result.cloudState.lastErrorMessage->contains(c.errorContains))
                << c.name << ": " << result.cloudState.lastErrorMessage->toStdString();
            PersonalLexiconCloudState unchanged = stored.cloudState;
            unchanged.lastErrorMessage = result.cloudState.lastErrorMessage;
            EXPECT_EQ(result.cloudState, unchanged) << c.name;
        }
    }

    // A gateway that cannot be reached.
    QUrl closedEndpoint;
    {
        StandInHttpServer closed;
        closedEndpoint = closed.url(u"/api/proxy/lexicon-sync"_s);
    }
    const PersonalLexiconSnapshot unreachable =
        runTask(service(std::nullopt, GatewayLexiconSyncConfiguration{closedEndpoint, u"t"_s})
                    .sync(stored, QString()));
    EXPECT_EQ(unreachable.cloudState.lastErrorMessage, connectionLost);
    EXPECT_EQ(statusesOf(unreachable), allLocal);
    EXPECT_EQ(unreachable.cloudState.lastSyncedAt, earlier);

    // A gateway that never answers: the network's fault, in the interface's
    // words. The direct route says the same.
    const QString timeOut = u"个人词库同步失败：网络连接超时"_s;
    transport->timesOut = true;
    const PersonalLexiconSnapshot hanging =
        runTask(service(std::nullopt, GatewayLexiconSyncConfiguration{gateway.url(u"/x"_s), u"t"_s})
                    .sync(stored, QString()));
    EXPECT_TRUE(hanging.cloudState.lastErrorMessage.value_or(QString()).startsWith(timeOut))
        << hanging.cloudState.lastErrorMessage.value_or(QString()).toStdString();
    EXPECT_EQ(statusesOf(hanging), allLocal);
    const PersonalLexiconSnapshot hangingDirect = sync(stored);
    EXPECT_TRUE(hangingDirect.cloudState.lastErrorMessage.value_or(QString()).startsWith(timeOut))
        << hangingDirect.cloudState.lastErrorMessage.value_or(QString()).toStdString();
    transport->timesOut = false;

    // Nothing to synchronise still asks the gateway, with no entries.
    PersonalLexiconSnapshot nothing = stored;
    nothing.entries = {lexicon.disabled, lexicon.history};
    const PersonalLexiconSnapshot result = syncViaGateway(
        nothing,
        StandInHttpReply::json(
            200,
            R"({"ok":true,"storedEntryCount":0,"sharedGlossaryTermCount":0,"effective":{"hotwordTableID":"bt-1"}})"));
    EXPECT_EQ(gateway.requests().back().body, R"({"kind":"managed","entries":[]})");
    EXPECT_EQ(statusesOf(result), (QList<Status>{Status::localOnly, Status::localOnly}));
    EXPECT_EQ(result.cloudState.hotwordTableID, u"bt-1"_s);
    EXPECT_EQ(result.cloudState.lastSyncedAt, syncTime);
}

} // namespace
} // namespace tovalit
