#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "tests/support/file_contents.h"

namespace tovalit {
namespace {

using namespace testing;
using Kind = PersonalLexiconEntryKind;
using Source = PersonalLexiconEntrySource;
using Status = PersonalLexiconCloudSyncStatus;

class LexiconEditingTest : public LexiconTest {
protected:
    void SetUp() override {
        makeStore(true);
        makeViewModel();
    }

    // Each edit ends in one save; these wait for it.
    void save(std::optional<QUuid> id, Kind kind, std::optional<QString> source, QString target,
              bool enabled = true, qint64 hitCount = 1,
              std::optional<QDateTime> createdAt = std::nullopt,
              std::optional<QDateTime> lastAppliedAt = std::nullopt) {
        untilSaved([&] {
            viewModel->saveManualLexiconEntry(id, kind, std::move(source), std::move(target),
                                              enabled, hitCount, createdAt, lastAppliedAt);
        });
    }
    void toggle(const PersonalLexiconEntry &entry) {
        untilSaved([&] { viewModel->toggleLexiconEntry(entry); });
    }
    void remove(const PersonalLexiconEntry &entry) {
        untilSaved([&] { viewModel->deleteLexiconEntry(entry); });
    }
    void untilSaved(const std::function<void()> &edit) {
        const qsizetype saves = actions().count(QStringLiteral("persist_applied"));
        edit();
        waitForAction(QStringLiteral("persist_applied"), saves + 1);
    }
    std::optional<PersonalLexiconEntry> published(const QString &target) const {
        for (const PersonalLexiconEntry &entry : viewModel->personalLexiconEntries()) {
            if (entry.targetText == target)
                return entry;
        }
        return std::nullopt;
    }
};

TEST_F(LexiconEditingTest, AnotherWritersChangeStaysWithTheWindowsAndOneBothMadeIsKeptAndNamed) {
    loadLexicon(
        cleanSnapshot({hotword(QStringLiteral("Kestrel")), hotword(QStringLiteral("Orin"))}));
    QStringList toasts;
    QObject::connect(viewModel.get(), &TranscriberViewModel::appToastChanged, viewModel.get(),
                     [&](const std::optional<AppToastState> &toast) {
                         if (toast)
                             toasts.append(toast->message);
                     });

    // Another program adds an entry while we run; the window adds another.
    PersonalLexiconSnapshot theirs = storedSnapshot();
    theirs.entries.append(hotword(QStringLiteral("Brannoch")));
    storeSnapshot(theirs);
    save(std::nullopt, Kind::hotword, std::nullopt, QStringLiteral("Velmora"));
    const QStringList all{QStringLiteral("Brannoch on"), QStringLiteral("Kestrel on"),
                          QStringLiteral("Orin on"), QStringLiteral("Velmora on")};
    EXPECT_EQ(switches(viewModel->personalLexiconEntries()), all);
    EXPECT_EQ(switches(storedSnapshot().entries), all);

    // Both change one entry: the window's change is saved, the other
    // program's file is kept beside and the notice names it.
    theirs = storedSnapshot();
    for (PersonalLexiconEntry &entry : theirs.entries) {
        if (entry.targetText == QStringLiteral("Kestrel"))
            entry.hitCount += 5;
    }
    storeSnapshot(theirs);
    toggle(*published(QStringLiteral("Kestrel")));
    EXPECT_FALSE(published(QStringLiteral("Kestrel"))->enabled);
    const QStringList copies =
        QDir(lexiconFolder())
            .entryList({QStringLiteral("personal-lexicon.json.conflict-*")}, QDir::Files);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(PersonalLexiconSnapshot::fromFileBytes(readFile(lexiconFolder() + u'/' + copies[0])),
              theirs);
    EXPECT_TRUE(toasts.contains(
        QStringLiteral("个人词库里有词条也被其他程序改过，已按本次修改保存，另一版本另存为：") +
        copies[0]))
        << toasts.join(u'\n').toStdString();
}

TEST_F(LexiconEditingTest, ANewHotWordIsStoredTrimmedAndNoLongerIgnored) {
    PersonalLexiconSnapshot snapshot = cleanSnapshot();
    snapshot.historyLearningState.ignoredNormalizedTerms = {QStringLiteral("tovalit"),
                                                            QStringLiteral("kestrel")};
    loadLexicon(snapshot);
    const qsizetype skip = actions().size();
    time.advance(60);

    save(std::nullopt, Kind::hotword, QStringLiteral("ignored source"),
         QStringLiteral("  Tovalit \n"), true, 0);

    EXPECT_EQ(actionsSince(skip), (QStringList{QStringLiteral("create_requested"),
                                               QStringLiteral("cloud_sync_resolved"),
                                               QStringLiteral("persist_applied")}));
    const PersonalLexiconAuditEvent created = *lastEvent(QStringLiteral("create_requested"));
    EXPECT_EQ(created.targetText, QStringLiteral("Tovalit"));
    EXPECT_EQ(created.sourceText, std::nullopt) << "a hot word has no source";
    EXPECT_EQ(created.cloudSyncStatus, QStringLiteral("pending"));
    EXPECT_EQ(created.entrySharingScope, QStringLiteral("sharedGlossaryCandidate"));
    EXPECT_EQ(created.entryCount, 1);

    const std::optional<PersonalLexiconEntry> stored = published(QStringLiteral("Tovalit"));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->id(), created.entryID);
    EXPECT_EQ(stored->learningSource, Source::manual);
    EXPECT_EQ(stored->hitCount, 1) << "a count below one starts at one";
    EXPECT_EQ(stored->createdAt, time.now());
    EXPECT_EQ(stored->updatedAt, time.now());
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().ignoredNormalizedTerms,
              QStringList{QStringLiteral("kestrel")});
    EXPECT_EQ(storedSnapshot().entries.size(), 1);
}

TEST_F(LexiconEditingTest, RefusedInputChangesNothingAndRecordsNothing) {
    loadLexicon(cleanSnapshot({hotword(QStringLiteral("Tovalit"))}));
    const QByteArray bytes = storedBytes();
    const qsizetype skip = actions().size();

    viewModel->saveManualLexiconEntry(std::nullopt, Kind::replacement, std::nullopt,
                                      QStringLiteral("Kestrel"), true, 1, std::nullopt,
                                      std::nullopt);
    viewModel->saveManualLexiconEntry(std::nullopt, Kind::replacement, QStringLiteral("KESTREL"),
                                      QStringLiteral("kestrel"), true, 1, std::nullopt,
                                      std::nullopt);
    viewModel->saveManualLexiconEntry(std::nullopt, Kind::hotword, std::nullopt,
                                      QStringLiteral("two words"), true, 1, std::nullopt,
                                      std::nullopt);
    viewModel->saveManualLexiconEntry(std::nullopt, Kind::hotword, std::nullopt,
                                      QStringLiteral("   "), true, 1, std::nullopt, std::nullopt);
    processEventsFor(std::chrono::milliseconds(100));

    EXPECT_EQ(actionsSince(skip), QStringList());
    EXPECT_EQ(storedBytes(), bytes);
    EXPECT_EQ(viewModel->personalLexiconEntries().size(), 1);
}

TEST_F(LexiconEditingTest, AHotWordWithAnExistingKeyUpdatesThatEntryInPlace) {
    PersonalLexiconEntry learned = lexiconEntry(
        Kind::hotword, std::nullopt, QStringLiteral("Tovalit"), Source::historyFrequency, 7);
    learned.lastAppliedAt = QDateTime(QDate(2026, 3, 2), QTime(10, 0), Qt::UTC);
    loadLexicon(cleanSnapshot({learned}));
    time.advance(60);

    save(std::nullopt, Kind::hotword, std::nullopt, QStringLiteral("TOVALIT"), false, 2, time.now(),
         std::nullopt);

    EXPECT_EQ(lastEvent(QStringLiteral("update_requested"))->entryID, learned.id());
    ASSERT_EQ(viewModel->personalLexiconEntries().size(), 1);
    const PersonalLexiconEntry merged = viewModel->personalLexiconEntries().first();
    EXPECT_EQ(merged.id(), learned.id());
    EXPECT_EQ(merged.targetText, QStringLiteral("TOVALIT"));
    EXPECT_EQ(merged.learningSource, Source::manual);
    EXPECT_EQ(merged.hitCount, 7) << "a merge never lowers a learned count";
    EXPECT_FALSE(merged.enabled);
    EXPECT_EQ(merged.createdAt, learned.createdAt);
    EXPECT_EQ(merged.updatedAt, time.now());
    EXPECT_EQ(merged.lastAppliedAt, learned.lastAppliedAt);
    EXPECT_EQ(lastEvent(QStringLiteral("update_requested"))->cloudSyncStatus,
              QStringLiteral("localOnly"))
        << "a disabled entry stays local";
}

TEST_F(LexiconEditingTest, ReplacementsMergeBySourceAndAnEditThatCollidesKeepsTheOtherEntry) {
    const PersonalLexiconEntry replacement =
        lexiconEntry(Kind::replacement, QStringLiteral("托瓦利特"), QStringLiteral("Tovalit"));
    const PersonalLexiconEntry alpha = hotword(QStringLiteral("Kestrel"));
    const PersonalLexiconEntry beta = hotword(QStringLiteral("Zephyra"));
    loadLexicon(cleanSnapshot({replacement, alpha, beta}));

    save(std::nullopt, Kind::replacement, QStringLiteral(" 托瓦利特 "), QStringLiteral("Tovalyt"));
    const PersonalLexiconAuditEvent updated = *lastEvent(QStringLiteral("update_requested"));
    EXPECT_EQ(updated.entryID, replacement.id());
    EXPECT_EQ(updated.sourceText, QStringLiteral("托瓦利特"));
    EXPECT_EQ(updated.targetText, QStringLiteral("Tovalyt"));
    EXPECT_EQ(updated.entrySharingScope, QStringLiteral("userPrivate"));
    EXPECT_FALSE(published(QStringLiteral("Tovalit")).has_value());

    // Kestrel is renamed into Zephyra's key: one entry stays, Zephyra's.
    save(alpha.id(), Kind::hotword, std::nullopt, QStringLiteral("zephyra"));
    EXPECT_EQ(lastEvent(QStringLiteral("update_requested"))->entryID, beta.id());
    int hotwords = 0;
    for (const PersonalLexiconEntry &entry : viewModel->personalLexiconEntries()) {
        if (entry.kind == Kind::hotword && entry.learningSource == Source::manual) {
            ++hotwords;
            EXPECT_EQ(entry.id(), beta.id());
            EXPECT_EQ(entry.targetText, QStringLiteral("zephyra"));
        }
    }
    EXPECT_EQ(hotwords, 1);

    // An edit under its own id that meets no other entry counts as a create.
    save(beta.id(), Kind::hotword, std::nullopt, QStringLiteral("Zephyrus"));
    EXPECT_EQ(lastEvent(QStringLiteral("create_requested"))->entryID, beta.id());
    EXPECT_EQ(published(QStringLiteral("Zephyrus"))->id(), beta.id());
}

TEST_F(LexiconEditingTest, TogglingFlipsTheEntryAndItsSyncStatus) {
    const PersonalLexiconEntry word = hotword(QStringLiteral("Tovalit"));
    loadLexicon(cleanSnapshot({word}));
    time.advance(30);

    toggle(word);
    const PersonalLexiconAuditEvent off = *lastEvent(QStringLiteral("toggle_disabled"));
    EXPECT_EQ(off.entryID, word.id());
    EXPECT_EQ(off.enabled, false);
    EXPECT_EQ(off.cloudSyncStatus, QStringLiteral("localOnly"));
    EXPECT_FALSE(published(QStringLiteral("Tovalit"))->enabled);
    EXPECT_EQ(published(QStringLiteral("Tovalit"))->updatedAt, time.now());

    toggle(word);
    const PersonalLexiconAuditEvent on = *lastEvent(QStringLiteral("toggle_enabled"));
    EXPECT_EQ(on.cloudSyncStatus, QStringLiteral("pending"));
    EXPECT_TRUE(published(QStringLiteral("Tovalit"))->enabled);

    // An entry that is gone by now changes nothing.
    const qsizetype skip = actions().size();
    viewModel->toggleLexiconEntry(hotword(QStringLiteral("Kestrel")));
    processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(actionsSince(skip), QStringList());
}

TEST_F(LexiconEditingTest, EditsMadeInQuickSuccessionAllReachTheFile) {
    const PersonalLexiconEntry tovalit = hotword(QStringLiteral("Tovalit"));
    const PersonalLexiconEntry kestrel = hotword(QStringLiteral("Kestrel"));
    const PersonalLexiconEntry zephyra = hotword(QStringLiteral("Zephyra"));
    loadLexicon(cleanSnapshot({tovalit, kestrel, zephyra}));
    const qsizetype saves = actions().count(QStringLiteral("persist_applied"));

    // Each edit starts before the one before it has been saved.
    viewModel->toggleLexiconEntry(tovalit);
    viewModel->toggleLexiconEntry(kestrel);
    viewModel->deleteLexiconEntry(zephyra);
    viewModel->saveManualLexiconEntry(std::nullopt, Kind::hotword, std::nullopt,
                                      QStringLiteral("Quokka"), true, 1, std::nullopt,
                                      std::nullopt);
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), saves + 4));

    const QStringList expected{QStringLiteral("Kestrel off"), QStringLiteral("Quokka on"),
                               QStringLiteral("Tovalit off")};
    EXPECT_EQ(switches(viewModel->personalLexiconEntries()), expected);
    EXPECT_EQ(switches(storedSnapshot().entries), expected);
}

TEST_F(LexiconEditingTest, AnEditDuringASlowSyncShowsAtOnceAndIsSavedWithTheOneBefore) {
    const PersonalLexiconEntry tovalit = hotword(QStringLiteral("Tovalit"));
    const PersonalLexiconEntry kestrel = hotword(QStringLiteral("Kestrel"));
    loadLexicon(cleanSnapshot({tovalit, kestrel}));
    const qsizetype saves = actions().count(QStringLiteral("persist_applied"));
    const std::shared_ptr<Gate> network = holdingGateway->holdNextSync();

    viewModel->toggleLexiconEntry(tovalit);
    ASSERT_TRUE(waitUntil([&] { return holdingGateway->heldSyncs == 1; }, "the first sync"));
    viewModel->toggleLexiconEntry(kestrel);

    // The second toggle neither waits for the first one's sync nor undoes it.
    ASSERT_TRUE(waitUntil([&] { return !published(QStringLiteral("Kestrel"))->enabled; },
                          "the second toggle to show"));
    EXPECT_FALSE(published(QStringLiteral("Tovalit"))->enabled);
    EXPECT_EQ(actions().count(QStringLiteral("persist_applied")), saves);
    for (const PersonalLexiconEntry &entry : storedSnapshot().entries)
        EXPECT_FALSE(entry.enabled)
            << entry.targetText.toStdString() << " is saved before any sync";

    network->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), saves + 2));
    for (const PersonalLexiconEntry &entry : storedSnapshot().entries) {
        EXPECT_FALSE(entry.enabled) << entry.targetText.toStdString();
        EXPECT_EQ(entry.cloudSyncStatus, Status::localOnly) << entry.targetText.toStdString();
    }
    EXPECT_FALSE(published(QStringLiteral("Tovalit"))->enabled);
    EXPECT_FALSE(published(QStringLiteral("Kestrel"))->enabled);
}

TEST_F(LexiconEditingTest, DeletingAHistoryWordKeepsItAwayOnceAndOtherDeletesAddNothing) {
    const PersonalLexiconEntry learned =
        hotword(QStringLiteral("Tovalit"), Source::historyFrequency);
    const PersonalLexiconEntry manual = hotword(QStringLiteral("Kestrel"));
    loadLexicon(cleanSnapshot({learned, manual}));

    remove(learned);
    remove(learned);
    remove(manual);
    EXPECT_EQ(actions().count(QStringLiteral("delete_requested")), 3)
        << "deleting an absent entry is still recorded";
    EXPECT_EQ(lastEvent(QStringLiteral("delete_requested"))->entryID, manual.id());
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().ignoredNormalizedTerms,
              QStringList{QStringLiteral("tovalit")});
    EXPECT_TRUE(viewModel->personalLexiconEntries().isEmpty());
    EXPECT_TRUE(storedSnapshot().entries.isEmpty());
}

TEST_F(LexiconEditingTest, ClearingTheHistoryResetsTheBookkeepingLocally) {
    PersonalLexiconSnapshot snapshot = cleanSnapshot();
    snapshot.historyLearningState.processedRecordIDs = {QUuid::createUuid()};
    snapshot.historyLearningState.ignoredNormalizedTerms = {QStringLiteral("tovalit")};
    loadLexicon(snapshot);
    const qsizetype skip = actions().size();

    viewModel->clearHistory();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_local_only")));
    EXPECT_EQ(actionsSince(skip), QStringList{QStringLiteral("persist_local_only")})
        << "no sync, no event of its own";
    PersonalLexiconHistoryLearningState expected;
    expected.ignoredNormalizedTerms = {QStringLiteral("tovalit")};
    EXPECT_EQ(storedSnapshot().historyLearningState, expected);

    // Nothing left to reset: nothing is saved.
    viewModel->clearHistory();
    processEventsFor(std::chrono::milliseconds(100));
    EXPECT_EQ(actionsSince(skip).size(), 1);
}

} // namespace
} // namespace tovalit
