#include "models/lexicon_decoding_error.h"
#include "models/personal_lexicon_snapshot.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>
#include <limits>

namespace tovalit {
namespace {

const QDateTime march1 = QDateTime(QDate(2026, 3, 1), QTime(8, 30, 0), Qt::UTC);

QJsonObject objectFrom(const char *json) {
    const auto object = json::parseObject(QByteArray(json));
    EXPECT_TRUE(object.has_value()) << json;
    return object.value_or(QJsonObject());
}

QJsonObject entryJson(std::initializer_list<std::pair<QString, QJsonValue>> overrides) {
    QJsonObject object{
        {"id", "6B1F0D2E-52C1-4F4B-9D0A-3C6F2B9E1A77"},
        {"kind", "hotword"},
        {"targetText", "Kovarindel"},
        {"learningSource", "manual"},
        {"hitCount", 1},
        {"enabled", true},
        {"cloudSyncStatus", "pending"},
        {"createdAt", "2026-03-01T08:30:00Z"},
        {"updatedAt", "2026-03-01T08:30:00Z"},
    };
    for (const auto &[key, value] : overrides) {
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
    }
    return object;
}

PersonalLexiconEntry makeEntry(PersonalLexiconEntryKind kind, std::optional<QString> source,
                               QString target, PersonalLexiconEntrySource learning,
                               qint64 hitCount = 1, bool enabled = true) {
    return PersonalLexiconEntry(QUuid::createUuid(), kind, std::nullopt, std::nullopt,
                                std::move(source), std::move(target), learning, hitCount, enabled,
                                PersonalLexiconCloudSyncStatus::pending, march1, march1,
                                std::nullopt);
}

TEST(PersonalLexiconEntryModel, ReadingResolvesChannelAndScopeFromKind) {
    struct Case {
        const char *name;
        std::initializer_list<std::pair<QString, QJsonValue>> members;
        PersonalLexiconChannel channel;
        PersonalLexiconSharingScope scope;
    };
    const Case cases[] = {
        {"replacement without channel ignores a published scope",
         {{"kind", "replacement"},
          {"sourceText", "orin ai"},
          {"sharingScope", "sharedGlossaryPublished"}},
         PersonalLexiconChannel::replace,
         PersonalLexiconSharingScope::userPrivate},
        {"hot word with neither",
         {},
         PersonalLexiconChannel::boost,
         PersonalLexiconSharingScope::sharedGlossaryCandidate},
        {"null members count as absent",
         {{"channel", QJsonValue::Null}, {"sharingScope", QJsonValue::Null}},
         PersonalLexiconChannel::boost,
         PersonalLexiconSharingScope::sharedGlossaryCandidate},
        {"hot word on the replace channel keeps it",
         {{"channel", "replace"}, {"sharingScope", "sharedGlossaryPublished"}},
         PersonalLexiconChannel::replace,
         PersonalLexiconSharingScope::userPrivate},
        {"boost keeps a given scope",
         {{"sharingScope", "sharedGlossaryPublished"}},
         PersonalLexiconChannel::boost,
         PersonalLexiconSharingScope::sharedGlossaryPublished},
    };
    for (const Case &c : cases) {
        const auto entry = PersonalLexiconEntry::fromJson(entryJson(c.members));
        EXPECT_EQ(entry.channel, c.channel) << c.name;
        EXPECT_EQ(entry.sharingScope, c.scope) << c.name;
    }
}

TEST(PersonalLexiconEntryModel, ReadingAndConstructionNormaliseTextsAndCounts) {
    for (const int count : {0, -7}) {
        EXPECT_EQ(PersonalLexiconEntry::fromJson(entryJson({{"hitCount", count}})).hitCount, 1);
    }
    EXPECT_EQ(makeEntry(PersonalLexiconEntryKind::hotword, std::nullopt, "x",
                        PersonalLexiconEntrySource::manual, 0)
                  .hitCount,
              1);

    const auto replacement = PersonalLexiconEntry::fromJson(entryJson(
        {{"kind", "replacement"}, {"sourceText", "   "}, {"targetText", "  OrinAI  \n"}}));
    EXPECT_EQ(replacement.targetText, "OrinAI");
    ASSERT_TRUE(replacement.sourceText.has_value()) << "a blank source stays present";
    EXPECT_EQ(*replacement.sourceText, "");
    EXPECT_EQ(replacement.displayText(), "OrinAI");
    EXPECT_FALSE(replacement.normalizedSourceKey().has_value());

    const auto pair = makeEntry(PersonalLexiconEntryKind::replacement, QString("a"), "b",
                                PersonalLexiconEntrySource::manual);
    EXPECT_EQ(pair.displayText(), "a -> b");
    const auto hotwordWithSource = makeEntry(PersonalLexiconEntryKind::hotword, QString("a"), "b",
                                             PersonalLexiconEntrySource::manual);
    EXPECT_EQ(hotwordWithSource.displayText(), "b");
}

TEST(PersonalLexiconEntryModel, DerivedPredicates) {
    auto candidate = makeEntry(PersonalLexiconEntryKind::hotword, std::nullopt, "Kovarindel",
                               PersonalLexiconEntrySource::historyFrequency, 2, false);
    EXPECT_TRUE(candidate.isHistoryCandidate()) << "disabled does not matter";
    EXPECT_FALSE(candidate.participatesInRecognition());
    candidate.hitCount = 3;
    EXPECT_FALSE(candidate.isHistoryCandidate());

    const auto frequent = makeEntry(PersonalLexiconEntryKind::hotword, std::nullopt, "Kovarindel",
                                    PersonalLexiconEntrySource::historyFrequency, 10);
    EXPECT_TRUE(frequent.participatesInRecognition());
    EXPECT_FALSE(frequent.participatesInCloudSync());
    EXPECT_TRUE(frequent.isSystemManaged());
    EXPECT_FALSE(frequent.isUserVisible());

    const auto manual = makeEntry(PersonalLexiconEntryKind::hotword, std::nullopt, "Kovarindel",
                                  PersonalLexiconEntrySource::manual, 1);
    EXPECT_FALSE(manual.isHistoryCandidate());
    EXPECT_TRUE(manual.participatesInCloudSync());
    EXPECT_TRUE(manual.isUserVisible());

    EXPECT_EQ(PersonalLexiconEntry::normalizedValue(u"  ＣａＦÉ\n"), "cafe");
}

TEST(PersonalLexiconEntryModel, MarkAppliedSaturatesAndStampsDates) {
    auto entry =
        makeEntry(PersonalLexiconEntryKind::hotword, std::nullopt, "x",
                  PersonalLexiconEntrySource::manual, std::numeric_limits<qint64>::max() - 1);
    const QDateTime later = march1.addDays(1);
    entry.markApplied(5, later);
    EXPECT_EQ(entry.hitCount, std::numeric_limits<qint64>::max());
    EXPECT_EQ(entry.updatedAt, later);
    EXPECT_EQ(entry.lastAppliedAt, later);
    entry.hitCount = 4;
    entry.markApplied(0, later);
    EXPECT_EQ(entry.hitCount, 4);
    entry.cloudSyncStatus = PersonalLexiconCloudSyncStatus::synced;
    entry.markPendingSync(later.addSecs(5));
    EXPECT_EQ(entry.cloudSyncStatus, PersonalLexiconCloudSyncStatus::pending);
    EXPECT_EQ(entry.updatedAt, later.addSecs(5));
}

TEST(PersonalLexiconCloudStateModel, SanitizedSyncNamespace) {
    EXPECT_EQ(PersonalLexiconCloudState::sanitizedSyncNamespace(QString("My-Team_01")), "myteam01");
    EXPECT_EQ(PersonalLexiconCloudState::sanitizedSyncNamespace(QString("ÄBC")), "bc");
    const QString forty = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd");
    EXPECT_EQ(PersonalLexiconCloudState::sanitizedSyncNamespace(forty), forty.left(32).toLower());

    const QRegularExpression random(QStringLiteral("^[0-9a-f]{32}$"));
    QSet<QString> seen;
    for (const std::optional<QString> &unusable :
         {std::optional<QString>(), std::optional<QString>(""), std::optional<QString>("----"),
          std::optional<QString>("词库命名空间")}) {
        const QString first = PersonalLexiconCloudState::sanitizedSyncNamespace(unusable);
        const QString second = PersonalLexiconCloudState::sanitizedSyncNamespace(unusable);
        EXPECT_TRUE(random.match(first).hasMatch()) << first.toStdString();
        EXPECT_NE(first, second);
        seen << first << second;
    }
    EXPECT_EQ(seen.size(), 8);

    PersonalLexiconCloudState valid;
    valid.syncNamespace = QStringLiteral("team42");
    valid.hotwordTableName = QStringLiteral("kept");
    EXPECT_EQ(valid.ensuringSyncNamespace(), valid);
    const auto ensured = PersonalLexiconCloudState::empty().ensuringSyncNamespace();
    ASSERT_TRUE(ensured.syncNamespace.has_value());
    EXPECT_NE(ensured.syncNamespace,
              PersonalLexiconCloudState::empty().ensuringSyncNamespace().syncNamespace);
}

TEST(PersonalLexiconSnapshotModel,
     WrittenFormOmitsAbsentOptionalsAndUsesUpperCaseIdsAndWholeSeconds) {
    PersonalLexiconSnapshot snapshot;
    const QUuid id = QUuid::fromString(QStringLiteral("6b1f0d2e-52c1-4f4b-9d0a-3c6f2b9e1a77"));
    snapshot.entries.append(PersonalLexiconEntry(
        id, PersonalLexiconEntryKind::hotword, std::nullopt, std::nullopt, std::nullopt,
        "Kovarindel", PersonalLexiconEntrySource::manual, 4, true,
        PersonalLexiconCloudSyncStatus::synced, march1.addMSecs(750),
        QDateTime(QDate(2026, 3, 1), QTime(16, 30, 0), Qt::OffsetFromUTC, 8 * 3600), std::nullopt));
    snapshot.historyLearningState.processedRecordIDs.append(id);

    const QJsonObject written = snapshot.toJson();
    EXPECT_EQ(written.keys(), (QStringList{"cloudState", "entries", "historyLearningState"}));
    EXPECT_TRUE(written["cloudState"].toObject().isEmpty());
    const QJsonObject entry = written["entries"].toArray().at(0).toObject();
    EXPECT_EQ(entry["id"].toString(), "6B1F0D2E-52C1-4F4B-9D0A-3C6F2B9E1A77");
    EXPECT_FALSE(entry.contains("sourceText"));
    EXPECT_FALSE(entry.contains("lastAppliedAt"));
    EXPECT_EQ(entry["channel"].toString(), "boost");
    EXPECT_EQ(entry["sharingScope"].toString(), "sharedGlossaryCandidate");
    EXPECT_EQ(entry["createdAt"].toString(), "2026-03-01T08:30:00Z");
    EXPECT_EQ(entry["updatedAt"].toString(), "2026-03-01T08:30:00Z");
    const QJsonObject learning = written["historyLearningState"].toObject();
    EXPECT_EQ(learning["processedRecordIDs"].toArray().at(0).toString(),
              "6B1F0D2E-52C1-4F4B-9D0A-3C6F2B9E1A77");
    EXPECT_FALSE(learning.contains("lastDailyBatchAt"));
    EXPECT_TRUE(learning.contains("ignoredNormalizedTerms"));

    // Dates lose their fraction on the way through the file, so the entry
    // read back differs from the original by less than a second.
    const auto readBack = PersonalLexiconSnapshot::fromFileBytes(snapshot.toFileBytes());
    EXPECT_NE(readBack, snapshot);
    EXPECT_EQ(readBack.entries.at(0).createdAt, march1);
    snapshot.entries[0].createdAt = march1;
    EXPECT_EQ(readBack, snapshot);
}

TEST(PersonalLexiconSnapshotModel, RoundTripOfEveryOptionalMember) {
    PersonalLexiconSnapshot full;
    full.entries.append(PersonalLexiconEntry(
        QUuid::createUuid(), PersonalLexiconEntryKind::replacement, std::nullopt, std::nullopt,
        QString("向量 数据库"), "向量数据库", PersonalLexiconEntrySource::insertionCorrection,
        std::numeric_limits<qint64>::max(), false, PersonalLexiconCloudSyncStatus::localOnly,
        march1, march1.addSecs(60), march1.addSecs(120)));
    full.cloudState = PersonalLexiconCloudState{"team42",
                                                "hid",
                                                "tovalit-personal-hotwords-team42",
                                                "rid",
                                                "tovalit-personal-replacements-team42",
                                                march1,
                                                "上次同步失败"};
    full.historyLearningState.processedRecordIDs = {QUuid::createUuid(), QUuid::createUuid()};
    full.historyLearningState.ignoredNormalizedTerms = {"foo", "方案"};
    full.historyLearningState.lastDailyBatchAt = march1;
    EXPECT_EQ(PersonalLexiconSnapshot::fromFileBytes(full.toFileBytes()), full);

    const auto empty =
        PersonalLexiconSnapshot::fromFileBytes(PersonalLexiconSnapshot::empty().toFileBytes());
    EXPECT_EQ(empty, PersonalLexiconSnapshot::empty());
}

TEST(PersonalLexiconSnapshotModel, LenientAndStrictReading) {
    const auto withoutLearning =
        PersonalLexiconSnapshot::fromJson(objectFrom(R"({"entries":[],"cloudState":{}})"));
    EXPECT_EQ(withoutLearning, PersonalLexiconSnapshot::empty());
    const auto nullLearning = PersonalLexiconSnapshot::fromJson(
        objectFrom(R"({"entries":[],"cloudState":{},"historyLearningState":null,"extra":1})"));
    EXPECT_EQ(nullLearning, PersonalLexiconSnapshot::empty());

    struct Refused {
        const char *json;
        const char *location;
    };
    const Refused refused[] = {
        {R"({"cloudState":{}})", "entries"},
        {R"({"entries":[]})", "cloudState"},
        {R"({"entries":[],"cloudState":{},"historyLearningState":{"lastDailyBatchAt":"2026-03-01T08:30:00Z"}})",
         "historyLearningState.processedRecordIDs"},
        {R"({"entries":[],"cloudState":{"syncNamespace":7}})", "cloudState.syncNamespace"},
        {R"({"entries":[],"cloudState":{"lastSyncedAt":"2026-03-01T08:30:00.5Z"}})",
         "cloudState.lastSyncedAt"},
        {R"({"entries":[],"cloudState":{},"historyLearningState":{"processedRecordIDs":["nope"],"ignoredNormalizedTerms":[]}})",
         "historyLearningState.processedRecordIDs[0]"},
        {R"({"entries":[{}],"cloudState":{}})", nullptr},
        {R"({"entries":[7],"cloudState":{}})", "entries[0]"},
    };
    for (const Refused &r : refused) {
        try {
            PersonalLexiconSnapshot::fromJson(objectFrom(r.json));
            ADD_FAILURE() << "read: " << r.json;
        } catch (const LexiconDecodingError &error) {
            if (r.location) {
                EXPECT_EQ(error.location().toStdString(), r.location) << r.json;
            }
            EXPECT_TRUE(error.localizedDescription().startsWith(u"个人词库数据格式无效："));
        }
    }

    // One entry with a value this version does not know makes the whole
    // snapshot unreadable, and the message says where.
    QJsonArray entries{entryJson({}), entryJson({{"cloudSyncStatus", "archived"}})};
    QJsonObject snapshot{{"entries", entries}, {"cloudState", QJsonObject()}};
    try {
        PersonalLexiconSnapshot::fromJson(snapshot);
        ADD_FAILURE() << "unknown status accepted";
    } catch (const LexiconDecodingError &error) {
        EXPECT_EQ(error.location(), "entries[1].cloudSyncStatus");
        EXPECT_TRUE(error.localizedDescription().contains(u"“archived”"));
    }
    for (const auto &bad : {entryJson({{"hitCount", 1.5}}), entryJson({{"enabled", "yes"}}),
                            entryJson({{"id", "6B1F0D2E52C14F4B9D0A3C6F2B9E1A77"}}),
                            entryJson({{"targetText", QJsonValue::Undefined}}),
                            entryJson({{"updatedAt", "2026-03-01 08:30:00"}})}) {
        EXPECT_THROW(PersonalLexiconEntry::fromJson(bad), LexiconDecodingError);
    }
    EXPECT_THROW(PersonalLexiconSnapshot::fromFileBytes(""), LexiconDecodingError);
    EXPECT_THROW(PersonalLexiconSnapshot::fromFileBytes("{\"entries\":["), LexiconDecodingError);
}

} // namespace
} // namespace tovalit
