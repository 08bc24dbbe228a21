#include "models/transcript_record.h"
#include "services/learning/chinese_word_tokenizer.h"
#include "services/learning/history_frequency_lexicon_learner.h"
#include "tests/services/lexicon/lexicon_test_entries.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace HistoryFrequencyLexiconLearner;
using Kind = PersonalLexiconEntryKind;
using Source = PersonalLexiconEntrySource;
using Status = PersonalLexiconCloudSyncStatus;
using testing::lexiconTestEpoch;
using testing::makeEntry;

const QDateTime now = lexiconTestEpoch.addDays(3);

const PersonalLexiconEntry *find(const QList<PersonalLexiconEntry> &entries, const QString &key) {
    for (const PersonalLexiconEntry &entry : entries) {
        if (entry.normalizedTargetKey() == PersonalLexiconEntry::normalizedValue(key))
            return &entry;
    }
    return nullptr;
}

TEST(HistoryFrequencyLexiconLearner, TermsOfATranscriptAreItsLearnableWords) {
    EXPECT_EQ(ChineseWordTokenizer::wordTokens(u"用 MacBook 部署了，3 个 API！"_s),
              (QStringList{u"用"_s, u"MacBook"_s, u"部署"_s, u"了"_s, u"3"_s, u"个"_s, u"API"_s}));
    EXPECT_EQ(extractDiscoverableTerms(
                  u"This is about the Tovalit 产品, HTTP2 and GPT模型 API — thanks!"_s),
              (QStringList{u"API"_s, u"GPT"_s, u"HTTP2"_s, u"Tovalit"_s, u"模型"_s}));
    EXPECT_EQ(extractCandidateTerms(u" \n\t "_s), QSet<QString>());
    EXPECT_EQ(extractCandidateTerms(QString()), QSet<QString>());

    const struct {
        QString term;
        std::optional<QString> cleaned;
    } cases[] = {
        {u"  MacBook。"_s, u"MacBook"_s},
        {u"This"_s, std::nullopt},    // an English filler, capitalised
        {u"Thanks"_s, std::nullopt},  // likewise
        {u"macbook"_s, std::nullopt}, // lower case only
        {u"产品"_s, std::nullopt},    // a generic noun
        {u"词库"_s, std::nullopt},    // a generic history term
        {u"Mac Book"_s, std::nullopt},
        {u"火山引擎"_s, u"火山引擎"_s},
        {u"This模型"_s, u"This模型"_s}, // not pure ASCII: no filler check
    };
    for (const auto &c : cases)
        EXPECT_EQ(normalizedCandidate(c.term), c.cleaned) << c.term.toStdString();

    EXPECT_TRUE(containsOnlyASCII(QString()));
    EXPECT_TRUE(containsOnlyASCII(u"abc~\u007F"_s));
    EXPECT_FALSE(containsOnlyASCII(u"caf\u00E9"_s));

    EXPECT_EQ(preferredDisplayValue(u"gpt模型"_s, u"GPT模型"_s), u"GPT模型"_s);
    EXPECT_EQ(preferredDisplayValue(u"GPT模型"_s, u"Gpt模型"_s), u"GPT模型"_s);
    EXPECT_EQ(preferredDisplayValue(u"模型"_s, u"模型x"_s), u"模型"_s);
    // A capital with a combining mark is one upper-case character.
    EXPECT_EQ(preferredDisplayValue(u"e\u0301clair"_s, u"E\u0301clair"_s), u"E\u0301clair"_s);
}

TEST(HistoryFrequencyLexiconLearner, HistoryRecordsAreCountedOncePerRecordUpToTheThreshold) {
    // Records as the history file stores them.
    const QByteArray history = R"([
        {"id":"0E2A4E1C-1B8D-4C55-9C0A-3F1E8B6A7D01","createdAt":"2026-03-01T09:00:00Z",
         "duration":12.5,"transcript":"今天用 MacBook 部署 Kubernetes，MacBook 很快。","status":"completed"},
        {"id":"0E2A4E1C-1B8D-4C55-9C0A-3F1E8B6A7D02","createdAt":"2026-03-01T10:00:00Z",
         "duration":8,"transcript":"Kubernetes 集群又挂了，MACBOOK 也没电了。","status":"warning",
         "note":"未能读回插入结果"},
        {"id":"0E2A4E1C-1B8D-4C55-9C0A-3F1E8B6A7D03","createdAt":"2026-03-02T08:30:00Z",
         "duration":4,"transcript":"我们把 Kubernetes 升级了。"}
    ])";
    QList<TranscriptRecord> records;
    for (const QJsonValue &value : QJsonDocument::fromJson(history).array())
        records.append(*TranscriptRecord::fromJson(value.toObject()));
    ASSERT_EQ(records.size(), 3);

    // One record at a time, as each finished dictation is learnt from.
    QList<PersonalLexiconEntry> entries{testing::hotword(u"Tovalit"_s)};
    QSet<QUuid> processed;
    std::vector<QStringList> learned;
    for (int index = 0; index < 3; ++index) {
        const TranscriptRecord &record = records.at(index);
        const HistoryFrequencyLearningResult result =
            learn({{record.id, extractDiscoverableTerms(record.transcript)}}, entries, {},
                  processed, 3, now.addSecs(index));
        EXPECT_EQ(result.processedRecordIDs, QList<QUuid>{record.id});
        processed.insert(record.id);
        entries = result.entries;
        learned.push_back(result.learnedTerms);

        const PersonalLexiconEntry *kubernetes = find(entries, u"Kubernetes"_s);
        ASSERT_NE(kubernetes, nullptr);
        EXPECT_EQ(kubernetes->hitCount, index + 1);
        EXPECT_EQ(kubernetes->cloudSyncStatus, index < 2 ? Status::localOnly : Status::pending);
        EXPECT_EQ(kubernetes->updatedAt, now.addSecs(index));
        EXPECT_EQ(kubernetes->createdAt, now);
    }
    EXPECT_TRUE(learned[0].contains(u"MacBook"_s));
    EXPECT_TRUE(learned[0].contains(u"Kubernetes"_s));
    EXPECT_FALSE(learned[1].contains(u"MACBOOK"_s));
    EXPECT_FALSE(learned[1].contains(u"Kubernetes"_s));

    // Mentioned twice in one record and once in capitals in another: two
    // sightings under the first spelling.
    const PersonalLexiconEntry *macbook = find(entries, u"MacBook"_s);
    ASSERT_NE(macbook, nullptr);
    EXPECT_EQ(macbook->targetText, u"MacBook"_s);
    EXPECT_EQ(macbook->hitCount, 2);
    EXPECT_EQ(macbook->cloudSyncStatus, Status::localOnly);
    for (const PersonalLexiconEntry &entry : entries) {
        if (entry.targetText == u"Tovalit"_s)
            continue;
        EXPECT_EQ(entry.kind, Kind::hotword);
        EXPECT_EQ(entry.channel, PersonalLexiconChannel::boost);
        EXPECT_EQ(entry.sharingScope, PersonalLexiconSharingScope::sharedGlossaryCandidate);
        EXPECT_EQ(entry.learningSource, Source::historyFrequency);
        EXPECT_EQ(entry.sourceText, std::nullopt);
        EXPECT_EQ(entry.lastAppliedAt, std::nullopt);
    }
    // Newest first.
    for (qsizetype index = 1; index < entries.size(); ++index)
        EXPECT_GE(entries.at(index - 1).updatedAt, entries.at(index).updatedAt);

    // A record already counted is skipped, even when passed again.
    const HistoryFrequencyLearningResult again =
        learn({{records[0].id, {u"Kubernetes"_s}}}, entries, {}, processed, 3, now.addDays(1));
    EXPECT_EQ(again.entries, entries);
    EXPECT_TRUE(again.processedRecordIDs.isEmpty());
}

TEST(HistoryFrequencyLexiconLearner, MatchingIgnoringAndThresholds) {
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    const QUuid third = QUuid::createUuid();

    // Threshold below one changes nothing, not even the order.
    const QList<PersonalLexiconEntry> unsorted{makeEntry({.target = u"A1"_s, .updatedMinute = 1}),
                                               makeEntry({.target = u"B2"_s, .updatedMinute = 9})};
    for (int threshold : {0, -2}) {
        EXPECT_EQ(learn({{first, {u"Kubernetes"_s}}}, unsorted, {}, {}, threshold, now),
                  (HistoryFrequencyLearningResult{unsorted, {}, {}}));
    }

    // Threshold one makes new terms pending at once; an empty discovery is
    // still consumed; a repeated id only counts its first discovery.
    const HistoryFrequencyLearningResult one =
        learn({{first, {u"Kubernetes"_s, u"GPT模型"_s, u"gpt模型"_s}},
               {second, {}},
               {first, {u"MacBook"_s}}},
              {}, {}, {}, 1, now);
    EXPECT_EQ(one.processedRecordIDs, (QList<QUuid>{first, second}));
    EXPECT_EQ(one.learnedTerms, (QStringList{u"GPT模型"_s, u"Kubernetes"_s}));
    ASSERT_EQ(one.entries.size(), 2);
    for (const PersonalLexiconEntry &entry : one.entries)
        EXPECT_EQ(entry.cloudSyncStatus, Status::pending);

    // Existing entries: only hot words match, whatever their channel or
    // source; an ignored key neither counts nor creates.
    PersonalLexiconEntry typed = testing::hotword(u"kubernetes"_s, 5);
    typed.cloudSyncStatus = Status::synced;
    PersonalLexiconEntry typedOff = testing::hotword(u"MacBook"_s);
    typedOff.enabled = false;
    typedOff.cloudSyncStatus = Status::localOnly;
    const PersonalLexiconEntry replacement =
        makeEntry({.kind = Kind::replacement, .source = u"酷伯"_s, .target = u"Cursor"_s});
    PersonalLexiconEntry ignoredEntry =
        makeEntry({.target = u"Tovalit"_s, .learning = Source::historyFrequency});
    const HistoryFrequencyLearningResult counted = learn(
        {{third, {u"Kubernetes"_s, u"MacBook"_s, u"Cursor"_s, u"Tovalit"_s, u"Codex"_s}}},
        {typed, typedOff, replacement, ignoredEntry}, {u"tovalit"_s, u"codex"_s}, {first}, 3, now);
    EXPECT_EQ(counted.learnedTerms, QStringList{u"Cursor"_s});
    ASSERT_EQ(counted.entries.size(), 5);
    const PersonalLexiconEntry *kubernetes = find(counted.entries, u"kubernetes"_s);
    EXPECT_EQ(kubernetes->targetText, u"kubernetes"_s);
    EXPECT_EQ(kubernetes->learningSource, Source::manual);
    EXPECT_EQ(kubernetes->hitCount, 6);
    EXPECT_EQ(kubernetes->cloudSyncStatus, Status::pending);
    EXPECT_EQ(kubernetes->updatedAt, now);
    const PersonalLexiconEntry *macbook = find(counted.entries, u"MacBook"_s);
    EXPECT_EQ(macbook->hitCount, 2);
    EXPECT_EQ(macbook->cloudSyncStatus, Status::localOnly);
    EXPECT_EQ(find(counted.entries, u"Tovalit"_s)->hitCount, 1);
    int cursors = 0;
    for (const PersonalLexiconEntry &entry : counted.entries)
        cursors += entry.targetText == u"Cursor"_s;
    EXPECT_EQ(cursors, 2) << "a replacement's target is no hot word";
}

} // namespace
} // namespace tovalit
