#include "services/learning/insertion_correction_learning_service.h"
#include "services/learning/system_managed_boost_entries.h"
#include "tests/services/lexicon/lexicon_test_entries.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace InsertionCorrectionLearningService;
using Kind = PersonalLexiconEntryKind;
using Channel = PersonalLexiconChannel;
using Scope = PersonalLexiconSharingScope;
using Source = PersonalLexiconEntrySource;
using Status = PersonalLexiconCloudSyncStatus;
using CandidateKind = LexiconLearningCandidateKind;
using testing::lexiconTestEpoch;
using testing::makeEntry;

const QDateTime now = lexiconTestEpoch.addDays(1);

LexiconLearningAICandidate hotwordCandidate(QString target, bool shareable = false) {
    return {CandidateKind::hotword, std::nullopt, std::move(target), shareable,
            std::nullopt,           std::nullopt};
}

LexiconLearningAICandidate replacementCandidate(std::optional<QString> source, QString target,
                                                bool shareable = false) {
    return {CandidateKind::replacement,
            std::move(source),
            std::move(target),
            shareable,
            std::nullopt,
            std::nullopt};
}

InsertionCorrectionLearningResult learnFrom(QList<LexiconLearningAICandidate> candidates,
                                            const QList<PersonalLexiconEntry> &existing = {}) {
    return learn(LexiconLearningAIAnalysis{true, std::nullopt, std::move(candidates)}, existing,
                 now);
}

// Entries with fresh identifiers are compared by what they hold.
struct Shape {
    Kind kind;
    Channel channel;
    Scope scope;
    std::optional<QString> source;
    QString target;
    Source learning;
    qint64 hits;
    bool enabled;
    Status status;

    bool operator==(const Shape &) const = default;
};

Shape shapeOf(const PersonalLexiconEntry &entry) {
    return {entry.kind,       entry.channel,    entry.sharingScope,
            entry.sourceText, entry.targetText, entry.learningSource,
            entry.hitCount,   entry.enabled,    entry.cloudSyncStatus};
}

QList<Shape> shapesOf(const QList<PersonalLexiconEntry> &entries) {
    QList<Shape> shapes;
    for (const PersonalLexiconEntry &entry : entries)
        shapes.append(shapeOf(entry));
    return shapes;
}

// The entry of the result that keeps `old`'s identifier.
std::optional<PersonalLexiconEntry> sameEntry(const InsertionCorrectionLearningResult &result,
                                              const PersonalLexiconEntry &old) {
    for (const PersonalLexiconEntry &entry : result.entries) {
        if (entry.id() == old.id())
            return entry;
    }
    return std::nullopt;
}

void PrintTo(const Shape &shape, std::ostream *out) {
    *out << rawValue(shape.kind).toStdString() << ' ' << rawValue(shape.scope).toStdString() << ' '
         << shape.source.value_or(u"-"_s).toStdString() << "->" << shape.target.toStdString() << ' '
         << rawValue(shape.learning).toStdString() << " x" << shape.hits
         << (shape.enabled ? " on " : " off ") << rawValue(shape.status).toStdString();
}

TEST(InsertionCorrectionLearning, WhatEachCandidateTeaches) {
    const Shape replacementFeishu{Kind::replacement,
                                  Channel::replace,
                                  Scope::userPrivate,
                                  u"飞数"_s,
                                  u"飞书"_s,
                                  Source::insertionCorrection,
                                  1,
                                  true,
                                  Status::pending};
    struct Case {
        const char *name;
        QList<LexiconLearningAICandidate> candidates;
        QList<Shape> entries; // newest first; all created now, so by display text
        QList<ObservedInsertionCorrection> replacements;
        QStringList hotwords;
        QStringList promoted;
        std::optional<QString> toast;
    };
    const Case cases[] = {
        {"a shareable hot word",
         {hotwordCandidate(u" Tovalit "_s, true)},
         {{Kind::hotword, Channel::boost, Scope::sharedGlossaryCandidate, std::nullopt,
           u"Tovalit"_s, Source::insertionCorrection, 1, true, Status::pending}},
         {},
         {u"Tovalit"_s},
         {},
         u"已将“Tovalit”加入我的词条。"_s},
        {"a private replacement",
         {replacementCandidate(u"飞数"_s, u"飞书"_s)},
         {replacementFeishu},
         {{u"飞数"_s, u"飞书"_s}},
         {},
         {},
         u"已记住“飞数”改写为“飞书”。"_s},
        {"a shareable replacement also boosts its target",
         {replacementCandidate(u"SU"_s, u"SEO"_s, true)},
         {{Kind::hotword, Channel::boost, Scope::sharedGlossaryCandidate, std::nullopt, u"SEO"_s,
           Source::replacementPromotion, 1, true, Status::pending},
          {Kind::replacement, Channel::replace, Scope::userPrivate, u"SU"_s, u"SEO"_s,
           Source::insertionCorrection, 1, true, Status::pending}},
         {{u"SU"_s, u"SEO"_s}},
         {},
         {u"SEO"_s},
         u"已记住“SU”改写为“SEO”。"_s},
        {"a replacement that only changes letter case is a hot word",
         {replacementCandidate(u"corvix"_s, u"Corvix"_s)},
         {{Kind::hotword, Channel::boost, Scope::userPrivate, std::nullopt, u"Corvix"_s,
           Source::insertionCorrection, 1, true, Status::pending}},
         {},
         {u"Corvix"_s},
         {},
         u"已将“Corvix”加入我的词条。"_s},
        {"a replacement without its source teaches nothing",
         {replacementCandidate(std::nullopt, u"Tovalit"_s, true)},
         {},
         {},
         {},
         {},
         std::nullopt},
        {"a refused hot word teaches nothing",
         {hotwordCandidate(u"Git hub"_s), hotwordCandidate(u"Open|AI"_s, true)},
         {},
         {},
         {},
         {},
         std::nullopt},
        {"two items",
         {replacementCandidate(u"飞数"_s, u"飞书"_s), hotwordCandidate(u"Kovarindel"_s)},
         {{Kind::hotword, Channel::boost, Scope::userPrivate, std::nullopt, u"Kovarindel"_s,
           Source::insertionCorrection, 1, true, Status::pending},
          replacementFeishu},
         {{u"飞数"_s, u"飞书"_s}},
         {u"Kovarindel"_s},
         {},
         u"已更新我的词条（2 项）。"_s},
        {"one replacement learned twice (sharing differs) counts twice in the toast",
         {replacementCandidate(u"SU"_s, u"SEO"_s), replacementCandidate(u"su"_s, u"SEO"_s, true)},
         {{Kind::hotword, Channel::boost, Scope::sharedGlossaryCandidate, std::nullopt, u"SEO"_s,
           Source::replacementPromotion, 1, true, Status::pending},
          {Kind::replacement, Channel::replace, Scope::userPrivate, u"su"_s, u"SEO"_s,
           Source::insertionCorrection, 2, true, Status::pending}},
         {{u"SU"_s, u"SEO"_s}},
         {},
         {u"SEO"_s},
         u"已更新我的词条（2 项）。"_s},
    };
    for (const Case &c : cases) {
        const InsertionCorrectionLearningResult result = learnFrom(c.candidates);
        EXPECT_EQ(shapesOf(result.entries), c.entries) << c.name;
        EXPECT_EQ(result.learnedReplacements, c.replacements) << c.name;
        EXPECT_EQ(result.learnedHotwords, c.hotwords) << c.name;
        EXPECT_EQ(result.promotedBoostTerms, c.promoted) << c.name;
        EXPECT_EQ(result.toastMessage, c.toast) << c.name;
        for (const PersonalLexiconEntry &entry : result.entries) {
            EXPECT_EQ(entry.createdAt, now) << c.name;
            EXPECT_EQ(entry.updatedAt, now) << c.name;
            EXPECT_EQ(entry.lastAppliedAt, now) << c.name;
        }
    }
}

TEST(InsertionCorrectionLearning, NothingToLearnKeepsTheGivenList) {
    const QList<PersonalLexiconEntry> existing{
        makeEntry({.target = u"B"_s, .updatedMinute = 1}),
        makeEntry({.target = u"A"_s, .updatedMinute = 5}),
    };
    const InsertionCorrectionLearningResult refused =
        learn(LexiconLearningAIAnalysis{false, std::nullopt, {hotwordCandidate(u"Tovalit"_s)}},
              existing, now);
    EXPECT_EQ(refused, (InsertionCorrectionLearningResult{existing, {}, {}, {}, std::nullopt}));

    const InsertionCorrectionLearningResult empty = learnFrom({}, existing);
    EXPECT_EQ(empty.entries, (QList<PersonalLexiconEntry>{existing[1], existing[0]}));
    EXPECT_EQ(empty.toastMessage, std::nullopt);
}

TEST(InsertionCorrectionLearning, LearningOverExistingEntries) {
    PersonalLexiconEntry manualReplacement =
        makeEntry({.kind = Kind::replacement, .source = u"ＳＵ"_s, .target = u"S E O"_s});
    manualReplacement.hitCount = 0;
    PersonalLexiconEntry disabledReplacement = makeEntry({.kind = Kind::replacement,
                                                          .source = u"飞数"_s,
                                                          .target = u"飞书"_s,
                                                          .hits = 4,
                                                          .enabled = false});
    disabledReplacement.cloudSyncStatus = Status::synced;
    PersonalLexiconEntry manualHotword = makeEntry({.target = u"tovalit"_s, .hits = 3});
    manualHotword.sharingScope = Scope::sharedGlossaryPublished;
    PersonalLexiconEntry disabledBoost = makeEntry(
        {.target = u"Kovarindel"_s, .learning = Source::historyFrequency, .enabled = false});
    disabledBoost.hitCount = 0;
    disabledBoost.cloudSyncStatus = Status::localOnly;
    PersonalLexiconEntry hiddenBoost =
        makeEntry({.target = u"Corvix"_s, .learning = Source::replacementPromotion, .hits = 2});
    hiddenBoost.sharingScope = Scope::sharedGlossaryCandidate;
    const QList<PersonalLexiconEntry> existing{manualReplacement, disabledReplacement,
                                               manualHotword, disabledBoost, hiddenBoost};

    const InsertionCorrectionLearningResult result = learnFrom(
        {replacementCandidate(u"SU"_s, u"SEO"_s), replacementCandidate(u"飞数"_s, u"飞书"_s),
         hotwordCandidate(u"Tovalit"_s), replacementCandidate(u"库伯"_s, u"Kovarindel"_s, true),
         hotwordCandidate(u"Corvix"_s)},
        existing);
    ASSERT_EQ(result.entries.size(), 6);
    const auto byID = [&](const PersonalLexiconEntry &old) {
        const std::optional<PersonalLexiconEntry> found = sameEntry(result, old);
        EXPECT_TRUE(found) << old.targetText.toStdString() << " is gone";
        return found.value_or(old);
    };

    // Matched by source key across width and case; the stored forms are
    // overwritten and a typed replacement becomes a learned one.
    const PersonalLexiconEntry su = byID(manualReplacement);
    EXPECT_EQ(shapeOf(su),
              (Shape{Kind::replacement, Channel::replace, Scope::userPrivate, u"SU"_s, u"SEO"_s,
                     Source::insertionCorrection, 2, true, Status::pending}));
    EXPECT_EQ(su.createdAt, lexiconTestEpoch);
    EXPECT_EQ(su.updatedAt, now);
    EXPECT_EQ(su.lastAppliedAt, now);

    // Re-learning a disabled entry keeps it off and local.
    EXPECT_EQ(shapeOf(byID(disabledReplacement)),
              (Shape{Kind::replacement, Channel::replace, Scope::userPrivate, u"飞数"_s, u"飞书"_s,
                     Source::insertionCorrection, 5, false, Status::localOnly}));

    // A typed hot word stays typed, its scope never narrows, its spelling
    // follows the correction.
    EXPECT_EQ(shapeOf(byID(manualHotword)),
              (Shape{Kind::hotword, Channel::boost, Scope::sharedGlossaryPublished, std::nullopt,
                     u"Tovalit"_s, Source::manual, 4, true, Status::pending}));

    // The hidden promotion reinforces a disabled boost hot word: pending,
    // still off, one more sighting without the floor of one, nothing
    // promoted.
    const PersonalLexiconEntry kovarindel = byID(disabledBoost);
    EXPECT_EQ(shapeOf(kovarindel),
              (Shape{Kind::hotword, Channel::boost, Scope::sharedGlossaryCandidate, std::nullopt,
                     u"Kovarindel"_s, Source::replacementPromotion, 1, false, Status::pending}));
    EXPECT_EQ(kovarindel.createdAt, lexiconTestEpoch);
    EXPECT_EQ(kovarindel.lastAppliedAt, now);
    EXPECT_TRUE(result.promotedBoostTerms.isEmpty());

    // A hidden boost hot word the user confirms becomes a learned one.
    EXPECT_EQ(shapeOf(byID(hiddenBoost)),
              (Shape{Kind::hotword, Channel::boost, Scope::sharedGlossaryCandidate, std::nullopt,
                     u"Corvix"_s, Source::insertionCorrection, 3, true, Status::pending}));

    EXPECT_EQ(result.learnedReplacements,
              (QList<ObservedInsertionCorrection>{
                  {u"SU"_s, u"SEO"_s}, {u"飞数"_s, u"飞书"_s}, {u"库伯"_s, u"Kovarindel"_s}}));
    EXPECT_EQ(result.learnedHotwords, (QStringList{u"Tovalit"_s, u"Corvix"_s}));
    EXPECT_EQ(result.toastMessage, u"已更新我的词条（5 项）。"_s);
    // The list handed in is never changed.
    EXPECT_EQ(existing.at(0).hitCount, 0);
}

TEST(InsertionCorrectionLearning, AShareableCorrectionLeavesTheUsersVisibleHotWordVisible) {
    // A hot word learned from an earlier correction, and one typed by hand.
    const PersonalLexiconEntry learnedHotword =
        makeEntry({.target = u"Tovalit"_s, .learning = Source::insertionCorrection, .hits = 2});
    const PersonalLexiconEntry typedHotword = makeEntry({.target = u"Kestrel"_s});

    const InsertionCorrectionLearningResult result =
        learnFrom({replacementCandidate(u"托瓦利特"_s, u"Tovalit"_s, true),
                   replacementCandidate(u"凯斯特"_s, u"Kestrel"_s, true)},
                  {learnedHotword, typedHotword});

    for (const PersonalLexiconEntry &old : {learnedHotword, typedHotword}) {
        const std::optional<PersonalLexiconEntry> found = sameEntry(result, old);
        ASSERT_TRUE(found) << old.targetText.toStdString();
        EXPECT_EQ(found->learningSource, old.learningSource) << old.targetText.toStdString();
        EXPECT_TRUE(found->isUserVisible()) << old.targetText.toStdString();
    }
    EXPECT_TRUE(result.promotedBoostTerms.isEmpty());

    // Kept apart from the replacements' system entries, they stay on the
    // lexicon page after the lexicon is reconciled.
    int visibleHotwords = 0;
    for (const PersonalLexiconEntry &entry :
         SystemManagedBoostEntries::reconcileSystemManagedBoostEntries(result.entries, now)) {
        if (entry.kind == Kind::hotword) {
            EXPECT_TRUE(entry.isUserVisible()) << entry.targetText.toStdString();
            ++visibleHotwords;
        }
    }
    EXPECT_EQ(visibleHotwords, 2);
}

TEST(InsertionCorrectionLearning, ScopesDeduplicationToastsAndOrder) {
    const struct {
        Scope current, desired, merged;
    } scopes[] = {
        {Scope::userPrivate, Scope::userPrivate, Scope::userPrivate},
        {Scope::userPrivate, Scope::sharedGlossaryCandidate, Scope::sharedGlossaryCandidate},
        {Scope::sharedGlossaryCandidate, Scope::userPrivate, Scope::sharedGlossaryCandidate},
        {Scope::sharedGlossaryPublished, Scope::userPrivate, Scope::sharedGlossaryPublished},
        {Scope::sharedGlossaryCandidate, Scope::sharedGlossaryPublished,
         Scope::sharedGlossaryPublished},
    };
    for (const auto &s : scopes)
        EXPECT_EQ(mergedSharingScope(s.current, s.desired), s.merged);

    EXPECT_EQ(deduplicatedTerms({u"MivoPad"_s, u"ＭＩＶＯＰＡＤ"_s, u"Corvix"_s, u" mivopad"_s}),
              (QStringList{u"MivoPad"_s, u"Corvix"_s}));
    EXPECT_EQ(
        deduplicatedCorrections({{u"SU"_s, u"SEO"_s}, {u"su"_s, u"seo"_s}, {u"SU"_s, u"SE"_s}}),
        (QList<ObservedInsertionCorrection>{{u"SU"_s, u"SEO"_s}, {u"SU"_s, u"SE"_s}}));

    EXPECT_EQ(toastMessage({}, {}, {u"SEO"_s}), u"已更新个人词库。"_s);
    EXPECT_EQ(toastMessage({}, {}, {}), std::nullopt);
    EXPECT_EQ(toastMessage({}, {u"A"_s, u"A"_s}, {}), u"已更新我的词条（2 项）。"_s);

    InsertionCorrectionLearningResult result;
    result.learnedReplacements = {{u"SU"_s, u"SEO"_s}};
    EXPECT_EQ(result.singleLearnedReplacement(), (ObservedInsertionCorrection{u"SU"_s, u"SEO"_s}));
    EXPECT_EQ(result.singleLearnedHotword(), std::nullopt);
    result.learnedHotwords = {u"Tovalit"_s};
    EXPECT_EQ(result.singleLearnedReplacement(), std::nullopt);
    result.learnedReplacements.clear();
    EXPECT_EQ(result.singleLearnedHotword(), u"Tovalit"_s);

    // Newest first; ties by display text with numbers by value, in place
    // otherwise.
    const PersonalLexiconEntry older = makeEntry({.target = u"A"_s, .updatedMinute = 1});
    const PersonalLexiconEntry tenth = makeEntry({.target = u"第10"_s, .updatedMinute = 9});
    const PersonalLexiconEntry second = makeEntry({.target = u"第2"_s, .updatedMinute = 9});
    const PersonalLexiconEntry replacement = makeEntry(
        {.kind = Kind::replacement, .source = u"a"_s, .target = u"b"_s, .updatedMinute = 9});
    const PersonalLexiconEntry sameText = makeEntry({.target = u"第2"_s, .updatedMinute = 9});
    EXPECT_EQ(sortedEntries({older, tenth, replacement, second, sameText}),
              (QList<PersonalLexiconEntry>{replacement, second, sameText, tenth, older}));
}

} // namespace
} // namespace tovalit
