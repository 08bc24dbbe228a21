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

// Where ICU's dictionary puts the word breaks inside Chinese text changes
// between ICU versions, so these checks hold for any segmentation: words
// cover the text's letters and numbers exactly, Latin words and numbers
// come out whole, and what is learnt is filtered the same way.
TEST(HistoryFrequencyLexiconLearner, TermsOfATranscriptAreItsLearnableWords) {
    const QString sentence = u"用 MivoPad 部署了，3 个 API！"_s;
    const QStringList tokens = ChineseWordTokenizer::wordTokens(sentence);
    EXPECT_EQ(tokens.join(QString()), u"用MivoPad部署了3个API"_s)
        << "no space or punctuation, nothing lost: " << tokens.join(u'|').toStdString();
    for (const QString &whole : {u"MivoPad"_s, u"3"_s, u"API"_s})
        EXPECT_TRUE(tokens.contains(whole)) << whole.toStdString();

    const QStringList terms = extractDiscoverableTerms(
        u"This is about the Tovalit 产品, HTTP2 and GZV模型 API — thanks!"_s);
    for (const QString &found : {u"API"_s, u"HTTP2"_s, u"Tovalit"_s})
        EXPECT_TRUE(terms.contains(found)) << found.toStdString();
    for (const QString &dropped : {u"This"_s, u"is"_s, u"the"_s, u"thanks"_s, u"产品"_s})
        EXPECT_FALSE(terms.contains(dropped)) << dropped.toStdString();
    for (const QString &term : terms) {
        EXPECT_EQ(normalizedCandidate(term), term)
            << "only learnable terms: " << term.toStdString();
        EXPECT_EQ(terms.count(term), 1) << term.toStdString();
    }
    EXPECT_EQ(QSet<QString>(terms.begin(), terms.end()),
              extractCandidateTerms(
                  u"This is about the Tovalit 产品, HTTP2 and GZV模型 API — thanks!"_s));
    EXPECT_EQ(extractCandidateTerms(u" \n\t "_s), QSet<QString>());
    EXPECT_EQ(extractCandidateTerms(QString()), QSet<QString>());

    const struct {
        QString term;
        std::optional<QString> cleaned;
    } cases[] = {
        {u"  MivoPad。"_s, u"MivoPad"_s},
        {u"This"_s, std::nullopt},    // an English filler, capitalised
        {u"Thanks"_s, std::nullopt},  // likewise
        {u"mivopad"_s, std::nullopt}, // lower case only
        {u"产品"_s, std::nullopt},    // a generic noun
        {u"词库"_s, std::nullopt},    // a generic history term
        {u"Mivo Pad"_s, std::nullopt},
        {u"火山引擎"_s, u"火山引擎"_s},
        {u"This模型"_s, u"This模型"_s}, // not pure ASCII: no filler check
    };
    for (const auto &c : cases)
        EXPECT_EQ(normalizedCandidate(c.term), c.cleaned) << c.term.toStdString();

    EXPECT_TRUE(containsOnlyASCII(QString()));
    EXPECT_TRUE(containsOnlyASCII(u"abc~\u007F"_s));
    EXPECT_FALSE(containsOnlyASCII(u"caf\u00E9"_s));

    EXPECT_EQ(preferredDisplayValue(u"gzv模型"_s, u"GZV模型"_s), u"GZV模型"_s);
    EXPECT_EQ(preferredDisplayValue(u"GZV模型"_s, u"Gzv模型"_s), u"GZV模型"_s);
    EXPECT_EQ(preferredDisplayValue(u"模型"_s, u"模型x"_s), u"模型"_s);
    // A capital with a combining mark is one upper-case character.
    EXPECT_EQ(preferredDisplayValue(u"e\u0301clair"_s, u"E\u0301clair"_s), u"E\u0301clair"_s);
}

TEST(HistoryFrequencyLexiconLearner, HistoryRecordsAreCountedOncePerRecordUpToTheThreshold) {
    // Records as the history file stores them.
    const QByteArray history = R"([
        {"id":"0E2A4E1C-1B8D-4C55-9C0A-3F1E8B6A7D01","createdAt":"2026-03-01T09:00:00Z",
         "duration":12.5,"transcript":"今天用 MivoPad 部署 Kovarindel，MivoPad 很快。","status":"completed"},
        {"id":"0E2A4E1C-1B8D-4C55-9C0A-3F1E8B6A7D02","createdAt":"2026-03-01T10:00:00Z",
         "duration":8,"transcript":"Kovarindel 集群又挂了，MIVOPAD 也没电了。","status":"warning",
         "note":"未能读回插入结果"},
        {"id":"0E2A4E1C-1B8D-4C55-9C0A-3F1E8B6A7D03","createdAt":"2026-03-02T08:30:00Z",
         "duration":4,"transcript":"我们把 Kovarindel 升级了。"}
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

        const PersonalLexiconEntry *kovarindel = find(entries, u"Kovarindel"_s);
        ASSERT_NE(kovarindel, nullptr);
        EXPECT_EQ(kovarindel->hitCount, index + 1);
        EXPECT_EQ(kovarindel->cloudSyncStatus, index < 2 ? Status::localOnly : Status::pending);
        EXPECT_EQ(kovarindel->updatedAt, now.addSecs(index));
        EXPECT_EQ(kovarindel->createdAt, now);
    }
    EXPECT_TRUE(learned[0].contains(u"MivoPad"_s));
    EXPECT_TRUE(learned[0].contains(u"Kovarindel"_s));
    EXPECT_FALSE(learned[1].contains(u"MIVOPAD"_s));
    EXPECT_FALSE(learned[1].contains(u"Kovarindel"_s));

    // Mentioned twice in one record and once in capitals in another: two
    // sightings under the first spelling.
    const PersonalLexiconEntry *mivopad = find(entries, u"MivoPad"_s);
    ASSERT_NE(mivopad, nullptr);
    EXPECT_EQ(mivopad->targetText, u"MivoPad"_s);
    EXPECT_EQ(mivopad->hitCount, 2);
    EXPECT_EQ(mivopad->cloudSyncStatus, Status::localOnly);
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
        learn({{records[0].id, {u"Kovarindel"_s}}}, entries, {}, processed, 3, now.addDays(1));
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
        EXPECT_EQ(learn({{first, {u"Kovarindel"_s}}}, unsorted, {}, {}, threshold, now),
                  (HistoryFrequencyLearningResult{unsorted, {}, {}}));
    }

    // Threshold one makes new terms pending at once; an empty discovery is
    // still consumed; a repeated id only counts its first discovery.
    const HistoryFrequencyLearningResult one =
        learn({{first, {u"Kovarindel"_s, u"GZV模型"_s, u"gzv模型"_s}},
               {second, {}},
               {first, {u"MivoPad"_s}}},
              {}, {}, {}, 1, now);
    EXPECT_EQ(one.processedRecordIDs, (QList<QUuid>{first, second}));
    EXPECT_EQ(one.learnedTerms, (QStringList{u"GZV模型"_s, u"Kovarindel"_s}));
    ASSERT_EQ(one.entries.size(), 2);
    for (const PersonalLexiconEntry &entry : one.entries)
        EXPECT_EQ(entry.cloudSyncStatus, Status::pending);

    // Existing entries: only hot words match, whatever their channel or
    // source; an ignored key neither counts nor creates.
    PersonalLexiconEntry typed = testing::hotword(u"kovarindel"_s, 5);
    typed.cloudSyncStatus = Status::synced;
    PersonalLexiconEntry typedOff = testing::hotword(u"MivoPad"_s);
    typedOff.enabled = false;
    typedOff.cloudSyncStatus = Status::localOnly;
    const PersonalLexiconEntry replacement =
        makeEntry({.kind = Kind::replacement, .source = u"酷伯"_s, .target = u"Corvix"_s});
    PersonalLexiconEntry ignoredEntry =
        makeEntry({.target = u"Tovalit"_s, .learning = Source::historyFrequency});
    const HistoryFrequencyLearningResult counted = learn(
        {{third, {u"Kovarindel"_s, u"MivoPad"_s, u"Corvix"_s, u"Tovalit"_s, u"Cedrix"_s}}},
        {typed, typedOff, replacement, ignoredEntry}, {u"tovalit"_s, u"cedrix"_s}, {first}, 3, now);
    EXPECT_EQ(counted.learnedTerms, QStringList{u"Corvix"_s});
    ASSERT_EQ(counted.entries.size(), 5);
    const PersonalLexiconEntry *kovarindel = find(counted.entries, u"kovarindel"_s);
    EXPECT_EQ(kovarindel->targetText, u"kovarindel"_s);
    EXPECT_EQ(kovarindel->learningSource, Source::manual);
    EXPECT_EQ(kovarindel->hitCount, 6);
    EXPECT_EQ(kovarindel->cloudSyncStatus, Status::pending);
    EXPECT_EQ(kovarindel->updatedAt, now);
    const PersonalLexiconEntry *mivopad = find(counted.entries, u"MivoPad"_s);
    EXPECT_EQ(mivopad->hitCount, 2);
    EXPECT_EQ(mivopad->cloudSyncStatus, Status::localOnly);
    EXPECT_EQ(find(counted.entries, u"Tovalit"_s)->hitCount, 1);
    int corvixes = 0;
    for (const PersonalLexiconEntry &entry : counted.entries)
        corvixes += entry.targetText == u"Corvix"_s;
    EXPECT_EQ(corvixes, 2) << "a replacement's target is no hot word";
}

} // namespace
} // namespace tovalit
