#include "services/learning/system_managed_boost_entries.h"
#include "tests/services/lexicon/lexicon_test_entries.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace SystemManagedBoostEntries;
using Kind = PersonalLexiconEntryKind;
using Scope = PersonalLexiconSharingScope;
using Source = PersonalLexiconEntrySource;
using Status = PersonalLexiconCloudSyncStatus;
using testing::lexiconTestEpoch;
using testing::makeEntry;

const QDateTime now = lexiconTestEpoch.addDays(2);

QDateTime minute(int m) {
    return lexiconTestEpoch.addSecs(60 * m);
}

// A replacement as the user typed it; scopes of replacements only differ
// when set after construction.
PersonalLexiconEntry replacement(QString source, QString target, qint64 hits = 1,
                                 int updatedMinute = 0, Source learning = Source::manual) {
    return makeEntry({.kind = Kind::replacement,
                      .source = std::move(source),
                      .target = std::move(target),
                      .learning = learning,
                      .hits = hits,
                      .updatedMinute = updatedMinute});
}

PersonalLexiconEntry promoted(QString target, qint64 hits = 1, int updatedMinute = 0) {
    PersonalLexiconEntry entry = makeEntry({.target = std::move(target),
                                            .learning = Source::replacementPromotion,
                                            .hits = hits,
                                            .updatedMinute = updatedMinute});
    entry.cloudSyncStatus = Status::synced;
    return entry;
}

QList<PersonalLexiconEntry> managedOf(const QList<PersonalLexiconEntry> &entries) {
    QList<PersonalLexiconEntry> managed;
    for (const PersonalLexiconEntry &entry : entries) {
        if (entry.learningSource == Source::replacementPromotion)
            managed.append(entry);
    }
    return managed;
}

TEST(SystemManagedBoostEntries, UserEntriesStayAndOnlySupportedBoostsRemain) {
    const PersonalLexiconEntry hotword = testing::hotword(u"Tovalit"_s);
    const PersonalLexiconEntry history =
        makeEntry({.target = u"Corvix"_s, .learning = Source::historyFrequency});
    const QList<PersonalLexiconEntry> withoutReplacements{promoted(u"SEO"_s), hotword,
                                                          promoted(u"QuillHub"_s), history};
    EXPECT_EQ(reconcileSystemManagedBoostEntries(withoutReplacements, now),
              (QList<PersonalLexiconEntry>{hotword, history}));

    // Which replacements support a boost of their target.
    PersonalLexiconEntry learnedPrivate =
        replacement(u"飞数"_s, u"飞书"_s, 1, 0, Source::insertionCorrection);
    PersonalLexiconEntry learnedShared =
        replacement(u"库伯"_s, u"Kovarindel"_s, 1, 0, Source::insertionCorrection);
    learnedShared.sharingScope = Scope::sharedGlossaryCandidate;
    PersonalLexiconEntry disabled = replacement(u"SU"_s, u"SEO"_s);
    disabled.enabled = false;
    const PersonalLexiconEntry notEligible = replacement(u"orin ai"_s, u"Open|AI"_s);
    const PersonalLexiconEntry typed = replacement(u"托瓦利特"_s, u"Tovalit"_s);
    const PersonalLexiconEntry typedCursor = replacement(u"科色"_s, u"Corvix"_s);
    const PersonalLexiconEntry typedGit = replacement(u"吉特"_s, u"Git"_s);
    PersonalLexiconEntry disabledHotword = testing::hotword(u"GIT"_s);
    disabledHotword.enabled = false;

    const QList<PersonalLexiconEntry> entries{learnedPrivate, learnedShared,  disabled, notEligible,
                                              typed,          typedCursor,    typedGit, hotword,
                                              history,        disabledHotword};
    const QList<PersonalLexiconEntry> result = reconcileSystemManagedBoostEntries(entries, now);
    // User entries unchanged and in order, then the rebuilt ones.
    EXPECT_EQ(result.mid(0, entries.size()), entries);
    QStringList targets;
    for (const PersonalLexiconEntry &entry : managedOf(result))
        targets.append(entry.targetText);
    // Tovalit, Cursor and Git are already the user's hot words (enabled or
    // not, typed or learnt from the history).
    EXPECT_EQ(targets, QStringList{u"Kovarindel"_s});
}

TEST(SystemManagedBoostEntries, ABoostIsBuiltFromItsReplacementsAndStaysStable) {
    PersonalLexiconEntry source = replacement(u"库伯"_s, u"Kovarindel"_s, 3, 5);
    source.lastAppliedAt = minute(4);
    const QList<PersonalLexiconEntry> first = reconcileSystemManagedBoostEntries({source}, now);
    ASSERT_EQ(first.size(), 2);
    const PersonalLexiconEntry boost = first.at(1);
    EXPECT_EQ(boost.kind, Kind::hotword);
    EXPECT_EQ(boost.channel, PersonalLexiconChannel::boost);
    EXPECT_EQ(boost.sharingScope, Scope::sharedGlossaryCandidate);
    EXPECT_EQ(boost.sourceText, std::nullopt);
    EXPECT_EQ(boost.targetText, u"Kovarindel"_s);
    EXPECT_EQ(boost.learningSource, Source::replacementPromotion);
    EXPECT_EQ(boost.hitCount, 3);
    EXPECT_TRUE(boost.enabled);
    EXPECT_EQ(boost.cloudSyncStatus, Status::pending);
    EXPECT_EQ(boost.createdAt, lexiconTestEpoch);
    EXPECT_EQ(boost.updatedAt, minute(5));
    EXPECT_EQ(boost.lastAppliedAt, minute(4));

    // Once synchronised, reconciling again changes nothing.
    QList<PersonalLexiconEntry> synced = first;
    synced[1].cloudSyncStatus = Status::synced;
    EXPECT_EQ(reconcileSystemManagedBoostEntries(synced, now), synced);
    EXPECT_EQ(
        reconcileSystemManagedBoostEntries(reconcileSystemManagedBoostEntries(synced, now), now),
        synced);

    // Editing the replacement makes the boost pending again and moves it on.
    QList<PersonalLexiconEntry> edited = synced;
    edited[0].updatedAt = minute(30);
    const PersonalLexiconEntry afterEdit = reconcileSystemManagedBoostEntries(edited, now).at(1);
    EXPECT_EQ(afterEdit.id(), boost.id());
    EXPECT_EQ(afterEdit.cloudSyncStatus, Status::pending);
    EXPECT_EQ(afterEdit.updatedAt, minute(30));
}

TEST(SystemManagedBoostEntries, PreviousEntriesLendIdentityAndHistory) {
    // Two replacements with one target key: the more used one gives the text.
    const PersonalLexiconEntry five = replacement(u"库伯"_s, u"Kovarindel"_s, 5, 1);
    const PersonalLexiconEntry two = replacement(u"酷伯"_s, u"KOVARINDEL"_s, 2, 8);
    PersonalLexiconEntry published = promoted(u"kovarindel"_s, 9, 3);
    published.sharingScope = Scope::sharedGlossaryPublished;
    published.lastAppliedAt = minute(20);
    published.createdAt = minute(-10);
    PersonalLexiconEntry weaker = promoted(u"Kovarindel"_s, 1, 50);
    weaker.enabled = false;

    const PersonalLexiconEntry rebuilt =
        reconcileSystemManagedBoostEntries({weaker, two, published, five}, now).at(2);
    EXPECT_EQ(rebuilt.id(), published.id());
    EXPECT_EQ(rebuilt.targetText, u"Kovarindel"_s);
    EXPECT_EQ(rebuilt.sharingScope, Scope::sharedGlossaryPublished);
    EXPECT_EQ(rebuilt.hitCount, 9);
    EXPECT_EQ(rebuilt.createdAt, minute(-10));
    EXPECT_EQ(rebuilt.updatedAt, minute(8));
    EXPECT_EQ(rebuilt.lastAppliedAt, minute(20));
    // Its text changed from "kovarindel".
    EXPECT_EQ(rebuilt.cloudSyncStatus, Status::pending);

    // With equal counts the more recently updated replacement gives the
    // text; a disabled previous entry comes back enabled and pending.
    const PersonalLexiconEntry older = replacement(u"库伯"_s, u"Kovarindel"_s, 2, 1);
    const PersonalLexiconEntry newer = replacement(u"酷伯"_s, u"KOVARINDEL"_s, 2, 8);
    const QList<PersonalLexiconEntry> result =
        reconcileSystemManagedBoostEntries({older, newer, weaker}, now);
    ASSERT_EQ(result.size(), 3);
    EXPECT_EQ(result.at(2).id(), weaker.id());
    EXPECT_EQ(result.at(2).targetText, u"KOVARINDEL"_s);
    EXPECT_TRUE(result.at(2).enabled);
    EXPECT_EQ(result.at(2).cloudSyncStatus, Status::pending);
    EXPECT_EQ(result.at(2).hitCount, 2);
    EXPECT_EQ(result.at(2).updatedAt, minute(50));

    // Without any previous entry: a fresh identity, at least one sighting.
    PersonalLexiconEntry unused = replacement(u"托瓦利特"_s, u"Tovalit"_s);
    unused.hitCount = 0;
    const PersonalLexiconEntry fresh = reconcileSystemManagedBoostEntries({unused}, now).at(1);
    EXPECT_NE(fresh.id(), unused.id());
    EXPECT_EQ(fresh.hitCount, 1);
    EXPECT_EQ(fresh.lastAppliedAt, std::nullopt);
}

TEST(SystemManagedBoostEntries, MergeOrderedUnique) {
    EXPECT_EQ(mergeOrderedUnique(QStringList{u"a"_s, u"b"_s, u"a"_s}, QStringList{u"c"_s, u"b"_s}),
              (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    EXPECT_EQ(mergeOrderedUnique(QStringList(), QStringList()), QStringList());
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    EXPECT_EQ(mergeOrderedUnique(QList<QUuid>{second, first, second}, QList<QUuid>{first}),
              (QList<QUuid>{second, first}));
}

} // namespace
} // namespace tovalit
