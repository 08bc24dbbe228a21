#include "services/learning/lexicon_learning_ai_service_error.h"
#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "tests/support/scoped_time_zone.h"

namespace tovalit {
namespace {

using namespace testing;

LexiconLearningAIAnalysis correction(const QString &source, const QString &target) {
    LexiconLearningAIAnalysis analysis;
    analysis.shouldLearn = true;
    analysis.summary = QStringLiteral("用户把误识别的名字改成了正确写法");
    LexiconLearningAICandidate candidate;
    candidate.kind = LexiconLearningCandidateKind::replacement;
    candidate.sourceText = source;
    candidate.targetText = target;
    candidate.confidence = 0.92;
    analysis.candidates << candidate;
    return analysis;
}

LexiconLearningAIAnalysis nothingToLearn() {
    LexiconLearningAIAnalysis analysis;
    analysis.summary = QStringLiteral("只是改了标点");
    return analysis;
}

const QString pendingToast5 =
    QStringLiteral("检测到你把“托瓦利特”改成了“Tovalit”，若不撤销，将在 5 秒后自动更新我的词条。");

// Learning from edits, driven the way the application does it: a dictation
// is inserted, and the insertion's watch reports the user's edits.
class LexiconLearningTest : public LexiconTest {
protected:
    struct AnalysisCall {
        ObservedInsertionEditSession session;
        VellupStructuredFormatterConfiguration configuration;
    };
    using AnalysisOutcome = std::variant<LexiconLearningAIAnalysis, std::exception_ptr>;

    void SetUp() override {
        useGateway();
        store->setMeetingModeEnabled(false);
        defaultTranscriberScript.finishText = QStringLiteral("好的");
        formatterAnswers.fallback = QStringLiteral("好的。");
        analysisFallback = correction(QStringLiteral("托瓦利特"), QStringLiteral("Tovalit"));
        adjustDependencies = [this](TranscriberViewModel::Dependencies &d) {
            d.gatewaySessionService = holdingGateway;
            TranscriberViewModel::InsertionRunner insert = d.insertionRunner;
            d.insertionRunner = [this, insert](QString text,
                                               std::optional<ActiveInteractionContext> context,
                                               ObservedInsertionEditCallback onObservedEditEvent,
                                               std::unique_ptr<ClipboardHeadStart> headStart) {
                observe = onObservedEditEvent;
                return insert(std::move(text), std::move(context), onObservedEditEvent,
                              std::move(headStart));
            };
            d.lexiconLearningAnalysisRunner = [this](ObservedInsertionEditSession session,
                                                     VellupStructuredFormatterConfiguration c) {
                analysisCalls.push_back({session, c});
                AnalysisOutcome outcome = analysisFallback;
                if (!analysisScript.empty()) {
                    outcome = analysisScript.front();
                    analysisScript.pop_front();
                }
                std::shared_ptr<Gate> gate;
                if (holdAnalyses)
                    gate = std::make_shared<Gate>();
                analysisGates.push_back(gate);
                return answerAfter(outcome, gate);
            };
        };
        makeViewModel();
    }

    // The lexicon as it stands, then one dictation whose insertion is
    // watched.
    void begin(const PersonalLexiconSnapshot &snapshot) {
        loadLexicon(snapshot);
        const auto saves = [this] {
            return actions().count(QStringLiteral("persist_local_only")) +
                   actions().count(QStringLiteral("persist_applied"));
        };
        const qsizetype before = saves();
        startRecording();
        stopRecording();
        ASSERT_TRUE(observe) << "the dictation was inserted";
        // History learning follows the dictation; its save is not the edit's.
        ASSERT_TRUE(
            waitUntil([&] { return saves() > before; }, "the dictation's history learning"));
        skip = actions().size();
        panel->clear();
    }
    void begin() { begin(cleanSnapshot()); }

    ObservedInsertionEditSession edit(const QString &finalText, QUuid id = QUuid()) const {
        ObservedInsertionEditSession session;
        session.sessionID = id.isNull() ? watched : id;
        session.originalInsertedText = QStringLiteral("今天托瓦利特开会。");
        session.originalFieldText = QStringLiteral("纪要：今天托瓦利特开会。");
        session.finalFieldText = finalText;
        session.appName = QStringLiteral("Notes");
        session.windowTitle = QStringLiteral("周会");
        return session;
    }
    void report(const ObservedInsertionEditSession &session) {
        observe(ObservedInsertionEditEvent::stableEdited(session));
    }
    void revert(QUuid id) { observe(ObservedInsertionEditEvent::revertedToOriginal(id)); }

    // The learning records since the dictation, without the saves.
    QStringList learningActions() const {
        QStringList words;
        for (const QString &action : actionsSince(skip)) {
            if (action.startsWith(u"ai_") || action.startsWith(u"observed_"))
                words << action;
        }
        return words;
    }
    // Stages the default correction and returns the index of its first
    // countdown sleep.
    std::size_t stage(const QString &finalText = QStringLiteral("纪要：今天Tovalit开会。")) {
        const std::size_t first = sessionSleeps.count();
        report(edit(finalText));
        waitForAction(QStringLiteral("ai_learning_pending_commit"),
                      actions().count(QStringLiteral("ai_learning_pending_commit")) + 1);
        EXPECT_TRUE(waitUntil([&] { return sessionSleeps.count() > first; }, "the countdown"));
        EXPECT_DOUBLE_EQ(sessionSleeps.at(first).seconds, 1.0);
        return first;
    }
    // Lets the countdown run out from its sleep at `index`.
    void finishCountdown(std::size_t index) {
        for (std::size_t i = index; i < index + 5; ++i) {
            ASSERT_TRUE(waitUntil([&] { return sessionSleeps.count() > i; }, "the next second"));
            sessionSleeps.wake(i);
            settle();
        }
    }
    // One dictation, then its first edit, whose analysis waits for the test.
    void beginWithAHeldAnalysis() {
        begin();
        holdAnalyses = true;
        report(edit(QStringLiteral("纪要：今天Tovalit开会。")));
        ASSERT_TRUE(waitUntil([&] { return analysisCalls.size() == 1; }, "the first analysis"));
    }
    void openAnalysis(std::size_t index) {
        ASSERT_TRUE(waitUntil([&] { return analysisGates.size() > index; }, "the analysis"));
        analysisGates.at(index)->open();
        settle();
    }

    QUuid watched = QUuid::createUuid();
    ObservedInsertionEditCallback observe;
    qsizetype skip = 0;
    AnalysisOutcome analysisFallback;
    std::deque<AnalysisOutcome> analysisScript;
    bool holdAnalyses = false;
    std::vector<std::shared_ptr<Gate>> analysisGates;
    std::vector<AnalysisCall> analysisCalls;
};

TEST_F(LexiconLearningTest,
       ALearnedCorrectionWaitsFiveSecondsBehindItsUndoToastThenJoinsTheLexicon) {
    PersonalLexiconSnapshot snapshot = cleanSnapshot();
    snapshot.historyLearningState.ignoredNormalizedTerms = {QStringLiteral("tovalit"),
                                                            QStringLiteral("kestrel")};
    begin(snapshot);
    const std::size_t first = stage();

    EXPECT_EQ(learningActions(), (QStringList{QStringLiteral("observed_edit_session_stable"),
                                              QStringLiteral("ai_analysis_completed"),
                                              QStringLiteral("ai_learning_pending_commit")}));
    ASSERT_EQ(analysisCalls.size(), 1u);
    EXPECT_EQ(analysisCalls[0].session, edit(QStringLiteral("纪要：今天Tovalit开会。")));
    EXPECT_EQ(analysisCalls[0].configuration, gatewayFormatter());
    EXPECT_EQ(lastEvent(QStringLiteral("ai_learning_pending_commit"))->toastMessage, pendingToast5);
    EXPECT_EQ(panel->calls(), QStringList{QStringLiteral("toast ") + pendingToast5 +
                                          QStringLiteral(" | 撤销 | 5")});
    EXPECT_TRUE(viewModel->personalLexiconEntries().isEmpty()) << "nothing changes before the end";

    // One toast counts down in place.
    for (int remaining = 4; remaining >= 1; --remaining) {
        sessionSleeps.wake(first + 4 - remaining);
        ASSERT_TRUE(waitUntil([&] { return sessionSleeps.count() > first + 5 - remaining; },
                              "the next second"));
        const QString count = QString::number(remaining);
        EXPECT_EQ(panel->last(),
                  QStringLiteral("toast 检测到你把“托瓦利特”改成了“Tovalit”，若不撤销，将在 ") +
                      count + QStringLiteral(" 秒后自动更新我的词条。 | 撤销 | ") + count);
        EXPECT_DOUBLE_EQ(sessionSleeps.at(first + 5 - remaining).seconds, 1.0);
    }
    EXPECT_EQ(actions().count(QStringLiteral("ai_learning_committed")), 0);
    sessionSleeps.wake(first + 4);
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_committed")));

    // Saved at once, then synchronised and saved again.
    const QStringList trail = actions();
    const qsizetype staged = trail.lastIndexOf(QStringLiteral("ai_learning_pending_commit"));
    EXPECT_EQ(
        trail.mid(staged + 1),
        (QStringList{QStringLiteral("local_snapshot_saved"), QStringLiteral("cloud_sync_resolved"),
                     QStringLiteral("persist_applied"), QStringLiteral("ai_learning_committed")}));
    const PersonalLexiconAuditEvent committed = *lastEvent(QStringLiteral("ai_learning_committed"));
    EXPECT_EQ(committed.observedSessionID, watched);
    EXPECT_EQ(committed.observedFinalFieldText, std::nullopt) << "no session on the commit";
    EXPECT_EQ(committed.learnedReplacements, QStringList{QStringLiteral("托瓦利特 -> Tovalit")});

    ASSERT_EQ(viewModel->personalLexiconEntries().size(), 1);
    const PersonalLexiconEntry learned = viewModel->personalLexiconEntries().first();
    EXPECT_EQ(learned.kind, PersonalLexiconEntryKind::replacement);
    EXPECT_EQ(learned.sourceText, QStringLiteral("托瓦利特"));
    EXPECT_EQ(learned.learningSource, PersonalLexiconEntrySource::insertionCorrection);
    EXPECT_EQ(storedSnapshot().entries.size(), 1);
    EXPECT_EQ(viewModel->personalLexiconHistoryLearningState().ignoredNormalizedTerms,
              QStringList{QStringLiteral("kestrel")})
        << "the word corrected to is no longer kept from history learning";
}

TEST_F(LexiconLearningTest, ACommittedCorrectionKeepsWhatTheUserChangedDuringItsUndoWindow) {
    const PersonalLexiconEntry kestrel = hotword(QStringLiteral("Kestrel"));
    begin(cleanSnapshot({kestrel}));
    const std::size_t first = stage();

    // While the toast counts down, the user switches one entry off and adds
    // another on the lexicon page.
    qsizetype saves = actions().count(QStringLiteral("persist_applied"));
    viewModel->toggleLexiconEntry(kestrel);
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), ++saves));
    viewModel->saveManualLexiconEntry(std::nullopt, PersonalLexiconEntryKind::hotword, std::nullopt,
                                      QStringLiteral("Zephyra"), true, 1, std::nullopt,
                                      std::nullopt);
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), ++saves));

    finishCountdown(first);
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_committed")));
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), ++saves));

    const QStringList expected{QStringLiteral("Kestrel off"), QStringLiteral("Zephyra on"),
                               QStringLiteral("托瓦利特 -> Tovalit on")};
    EXPECT_EQ(switches(viewModel->personalLexiconEntries()), expected);
    EXPECT_EQ(switches(storedSnapshot().entries), expected);
    EXPECT_EQ(lastEvent(QStringLiteral("ai_learning_committed"))->learnedReplacements,
              QStringList{QStringLiteral("托瓦利特 -> Tovalit")});
}

TEST_F(LexiconLearningTest, UndoInsideTheWindowDropsTheChangeWithoutARecord) {
    begin();
    const std::size_t first = stage();
    sessionSleeps.wake(first);
    ASSERT_TRUE(waitUntil([&] { return sessionSleeps.count() > first + 1; }, "the next second"));
    const qsizetype recorded = actions().size();

    panel->onToastButton();
    settle();

    EXPECT_EQ(panel->last(), QStringLiteral("toast 已撤销，本次不会加入个人词库。 | - | 1.6"));
    EXPECT_TRUE(sessionSleeps.at(first + 1).token.isCancelled()) << "the countdown stops";
    processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(actions().size(), recorded) << "an undo is not recorded, and nothing is committed";
    EXPECT_TRUE(viewModel->personalLexiconEntries().isEmpty());
}

// The countdown over, the commit may still wait for another change of the
// lexicon to be saved: an undo then still wins. Once its own save has
// begun, the user is told the change was kept instead.
TEST_F(LexiconLearningTest, AnUndoAfterTheCountdownWinsUntilTheCommitStartsSaving) {
    const PersonalLexiconEntry kestrel = hotword(QStringLiteral("Kestrel"));
    begin(cleanSnapshot({kestrel}));
    std::size_t first = stage();
    std::shared_ptr<Gate> pageSave = refusingStore->holdNextSave();
    viewModel->toggleLexiconEntry(kestrel);
    ASSERT_TRUE(waitUntil([&] { return refusingStore->heldSaves == 1; }, "the page's save"));
    finishCountdown(first);

    panel->onToastButton();
    settle();
    EXPECT_EQ(panel->last(), QStringLiteral("toast 已撤销，本次不会加入个人词库。 | - | 1.6"));
    qsizetype saves = actions().count(QStringLiteral("persist_applied"));
    pageSave->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("persist_applied"), ++saves));
    processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(actions().count(QStringLiteral("ai_learning_committed")), 0);
    EXPECT_EQ(switches(viewModel->personalLexiconEntries()),
              QStringList{QStringLiteral("Kestrel off")});

    first = stage(QStringLiteral("纪要：今天Tovalit开会了。"));
    std::shared_ptr<Gate> commitSave = refusingStore->holdNextSave();
    finishCountdown(first);
    ASSERT_TRUE(waitUntil([&] { return refusingStore->heldSaves == 2; }, "the commit's save"));
    panel->onToastButton();
    settle();
    EXPECT_EQ(panel->last(), QStringLiteral("toast 来不及撤销，本次已加入个人词库。 | - | 1.6"));
    commitSave->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_committed")));
    EXPECT_EQ(
        switches(storedSnapshot().entries),
        (QStringList{QStringLiteral("Kestrel off"), QStringLiteral("托瓦利特 -> Tovalit on")}));
}

TEST_F(LexiconLearningTest, ARevertOfTheWatchedTextCancelsTheWaitingChangeSilently) {
    begin();
    const std::size_t first = stage();
    const qsizetype recorded = actions().size();

    revert(QUuid::createUuid());
    processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(actions().size(), recorded) << "another insertion's revert is none of ours";
    EXPECT_FALSE(sessionSleeps.at(first).token.isCancelled());

    revert(watched);
    ASSERT_TRUE(waitForAction(QStringLiteral("observed_edit_session_reverted")));
    const PersonalLexiconAuditEvent reverted =
        *lastEvent(QStringLiteral("observed_edit_session_reverted"));
    EXPECT_EQ(reverted.observedSessionID, watched);
    EXPECT_EQ(reverted.skipReason, QStringLiteral("reverted_to_original"));
    EXPECT_EQ(reverted.observedFinalFieldText, std::nullopt);
    EXPECT_TRUE(sessionSleeps.at(first).token.isCancelled());
    EXPECT_EQ(panel->calls().size(), 1) << "no undo toast for a silent cancel";
    processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(actions().count(QStringLiteral("ai_learning_committed")), 0);
    EXPECT_TRUE(viewModel->personalLexiconEntries().isEmpty());
}

TEST_F(LexiconLearningTest, ARevertDuringTheAnalysisCancelsItAndForgetsTheQueuedEdit) {
    ASSERT_NO_FATAL_FAILURE(beginWithAHeldAnalysis());
    report(edit(QStringLiteral("纪要：今天 Tovalit 开周会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_queued")));

    revert(watched);
    ASSERT_TRUE(waitForAction(QStringLiteral("observed_edit_session_reverted")));
    EXPECT_EQ(learningActions(), (QStringList{QStringLiteral("observed_edit_session_stable"),
                                              QStringLiteral("observed_edit_session_stable"),
                                              QStringLiteral("ai_analysis_queued"),
                                              QStringLiteral("observed_edit_session_reverted")}));

    // A new edit starts its own analysis; the cancelled one, answering late,
    // neither records anything nor lets a third analysis run beside it.
    report(edit(QStringLiteral("纪要：今天Tovalit开月会。")));
    ASSERT_TRUE(waitUntil([&] { return analysisCalls.size() == 2; }, "the new analysis"));
    openAnalysis(0);
    report(edit(QStringLiteral("纪要：今天Tovalit开年会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_queued"), 2));
    EXPECT_EQ(analysisCalls.size(), 2u) << "the queued edit was forgotten, the newest waits";
    EXPECT_EQ(actions().count(QStringLiteral("ai_analysis_completed")), 0);
    EXPECT_TRUE(panel->calls().isEmpty());
}

TEST_F(LexiconLearningTest, TheSameEditReportedAgainLeavesTheCountdownRunning) {
    begin();
    const std::size_t first = stage();
    report(edit(QStringLiteral(" 纪要：今天Tovalit开会。\n")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_skipped")));

    EXPECT_EQ(lastEvent(QStringLiteral("ai_analysis_skipped"))->skipReason,
              QStringLiteral("pending_commit_unchanged"));
    EXPECT_EQ(learningActions().mid(3), (QStringList{QStringLiteral("observed_edit_session_stable"),
                                                     QStringLiteral("ai_analysis_skipped")}));
    EXPECT_FALSE(sessionSleeps.at(first).token.isCancelled());
    finishCountdown(first);
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_committed")));
    EXPECT_EQ(analysisCalls.size(), 1u);
}

TEST_F(LexiconLearningTest, OneAnalysisRunsAtATimeAndOnlyTheNewestWaitingEditFollows) {
    ASSERT_NO_FATAL_FAILURE(beginWithAHeldAnalysis());
    for (const QString &text :
         {QStringLiteral("纪要：今天Tovalit开会"), QStringLiteral("纪要：今天Tovalit开周会"),
          QStringLiteral("纪要：今天Tovalit开周会。")}) {
        report(edit(text));
    }
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_queued"), 3));
    EXPECT_EQ(analysisCalls.size(), 1u);

    // The first result is out of date: a newer text of the same insertion
    // waits, and only the newest of the three is analysed next.
    openAnalysis(0);
    ASSERT_TRUE(waitUntil([&] { return analysisCalls.size() == 2; }, "the second analysis"));
    EXPECT_EQ(analysisCalls[1].session.finalFieldText, QStringLiteral("纪要：今天Tovalit开周会。"));
    const PersonalLexiconAuditEvent superseded =
        *lastEvent(QStringLiteral("ai_analysis_superseded"));
    EXPECT_EQ(superseded.skipReason, QStringLiteral("newer_stable_edit_queued"));
    EXPECT_EQ(superseded.observedFinalFieldText, QStringLiteral("纪要：今天Tovalit开会。"));
    EXPECT_EQ(superseded.aiCandidateCount, 1);

    openAnalysis(1);
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_pending_commit")));
    EXPECT_EQ(lastEvent(QStringLiteral("ai_learning_pending_commit"))->observedFinalFieldText,
              QStringLiteral("纪要：今天Tovalit开周会。"));
    EXPECT_EQ(analysisCalls.size(), 2u);
    EXPECT_EQ(actions().count(QStringLiteral("ai_analysis_completed")), 1);
}

// The audit log, with the record of one edit held back until released.
class HeldAuditLog final : public PersonalLexiconEventLogging {
public:
    explicit HeldAuditLog(std::shared_ptr<PersonalLexiconEventLogging> log)
        : m_log(std::move(log)) {}
    QCoro::Task<void> record(PersonalLexiconAuditEvent event) override {
        if (event.observedFinalFieldText == heldText)
            co_await gate->wait();
        co_await m_log->record(std::move(event));
    }
    QString heldText;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();

private:
    std::shared_ptr<PersonalLexiconEventLogging> m_log;
};

TEST_F(LexiconLearningTest, EditsAreTakenInTheOrderSeenWhateverTheirRecordsTake) {
    // The newest edit is the one analysed next, also when the record of
    // an older one is written last.
    auto log =
        std::make_shared<HeldAuditLog>(std::make_shared<PersonalLexiconEventLogger>(dataFolder()));
    adjustDependencies = [adjust = adjustDependencies, log](TranscriberViewModel::Dependencies &d) {
        adjust(d);
        d.lexiconEventLogger = log;
    };
    makeViewModel();
    ASSERT_NO_FATAL_FAILURE(beginWithAHeldAnalysis());
    log->heldText = QStringLiteral("纪要：今天Tovalit开会");
    report(edit(QStringLiteral("纪要：今天Tovalit开会")));
    report(edit(QStringLiteral("纪要：今天Tovalit开周会。")));
    settle();
    log->gate->open();
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_queued"), 2));

    openAnalysis(0);
    ASSERT_TRUE(waitUntil([&] { return analysisCalls.size() == 2; }, "the second analysis"));
    EXPECT_EQ(analysisCalls[1].session.finalFieldText, QStringLiteral("纪要：今天Tovalit开周会。"));
}

TEST_F(LexiconLearningTest, AnEditOfAnotherInsertionDropsTheOlderResultWithoutARecord) {
    ASSERT_NO_FATAL_FAILURE(beginWithAHeldAnalysis());
    const QUuid other = QUuid::createUuid();
    report(edit(QStringLiteral("纪要：今天Tovalit开会。"), other));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_queued")));

    openAnalysis(0);
    ASSERT_TRUE(waitUntil([&] { return analysisCalls.size() == 2; }, "the queued analysis"));
    EXPECT_EQ(analysisCalls[1].session.sessionID, other)
        << "the same text in another insertion is no duplicate";
    EXPECT_EQ(actions().count(QStringLiteral("ai_analysis_completed")), 0)
        << "the older result is dropped silently";
    openAnalysis(1);
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_pending_commit")));
    EXPECT_EQ(lastEvent(QStringLiteral("ai_learning_pending_commit"))->observedSessionID, other);
}

TEST_F(LexiconLearningTest, EditsThatChangeNothingOrRepeatWithinTwelveSecondsAreSkipped) {
    analysisFallback = nothingToLearn();
    begin();
    report(edit(QStringLiteral("  纪要：今天托瓦利特开会。\n")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_skipped")));
    EXPECT_EQ(lastEvent(QStringLiteral("ai_analysis_skipped"))->skipReason,
              QStringLiteral("no_effective_edit"));
    EXPECT_TRUE(analysisCalls.empty());

    report(edit(QStringLiteral("纪要：今天开会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_skipped")));
    EXPECT_EQ(lastEvent(QStringLiteral("ai_learning_skipped"))->skipReason,
              QStringLiteral("no_effective_candidates"));
    EXPECT_EQ(lastEvent(QStringLiteral("ai_analysis_completed"))->aiShouldLearn, false);

    time.advance(11.9);
    report(edit(QStringLiteral("纪要：今天开会。 ")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_skipped"), 2));
    EXPECT_EQ(lastEvent(QStringLiteral("ai_analysis_skipped"))->skipReason,
              QStringLiteral("duplicate_stable_edit"));

    time.advance(0.1);
    report(edit(QStringLiteral("纪要：今天开会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_skipped"), 2));
    EXPECT_EQ(analysisCalls.size(), 2u) << "twelve seconds after the last start it runs again";
    EXPECT_TRUE(panel->calls().isEmpty());
}

// A rate limit without a reset time, or with one already past (the
// parameter: seconds from now), pauses learning for thirty seconds.
class LexiconLearningRateLimitTest : public LexiconLearningTest,
                                     public ::testing::WithParamInterface<std::optional<qint64>> {};

TEST_P(LexiconLearningRateLimitTest, PausesLearningUntilItsCooldownEnds) {
    ScopedTimeZone zone("CST-8");
    const QString body = QStringLiteral("{\"error\":\"too many requests\"}");
    std::optional<QDateTime> resetAt;
    if (GetParam())
        resetAt = time.now().addSecs(*GetParam());
    const auto rateLimited = LexiconLearningAIServiceError::serverError(429, body, resetAt);
    analysisScript = {errorOf(rateLimited)};
    analysisFallback = nothingToLearn();
    begin();

    report(edit(QStringLiteral("纪要：今天Tovalit开会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_rate_limited")));
    const PersonalLexiconAuditEvent limited =
        *lastEvent(QStringLiteral("ai_analysis_rate_limited"));
    EXPECT_EQ(limited.skipReason, QStringLiteral("rate_limited"));
    EXPECT_EQ(limited.lastErrorMessage, rateLimited.localizedDescription());
    EXPECT_EQ(limited.aiRawResponseText, body);
    EXPECT_EQ(logLines(QStringLiteral("lexicon.ai")).value(0),
              QStringLiteral("analysis-failed | error=") + *limited.lastErrorMessage);

    // 30 s from 09:00:00 UTC, shown in local time.
    time.advance(29);
    report(edit(QStringLiteral("纪要：今天Tovalit开周会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_skipped")));
    const PersonalLexiconAuditEvent cooling = *lastEvent(QStringLiteral("ai_analysis_skipped"));
    EXPECT_EQ(cooling.skipReason, QStringLiteral("rate_limited_cooldown"));
    EXPECT_EQ(cooling.lastErrorMessage,
              QStringLiteral("词库学习分析限流冷却中，可在 03-07 17:00 后重试。"));
    EXPECT_EQ(analysisCalls.size(), 1u);

    time.advance(1);
    report(edit(QStringLiteral("纪要：今天Tovalit开周会")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_skipped")));
    EXPECT_EQ(analysisCalls.size(), 2u);
    EXPECT_TRUE(panel->calls().isEmpty()) << "learning failures never show a toast";
}

INSTANTIATE_TEST_SUITE_P(ResetTimes, LexiconLearningRateLimitTest,
                         ::testing::Values(std::nullopt, std::optional<qint64>(-600)),
                         [](const auto &info) { return info.param ? "AlreadyPast" : "None"; });

TEST_F(LexiconLearningTest, OtherFailuresAreRecordedWithoutACooldown) {
    analysisScript = {errorOf(LexiconLearningAIServiceError::serverError(
                          500, QStringLiteral("busy"), std::nullopt)),
                      errorOf(LexiconLearningAIServiceError::invalidResponse(
                          QStringLiteral("不是 JSON"), {QStringLiteral("{\"a\":")}))};
    analysisFallback = nothingToLearn();
    begin();

    report(edit(QStringLiteral("纪要：今天Tovalit开会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_failed")));
    report(edit(QStringLiteral("纪要：今天Tovalit开周会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_failed"), 2));
    const PersonalLexiconAuditEvent failed = *lastEvent(QStringLiteral("ai_analysis_failed"));
    EXPECT_EQ(failed.skipReason, QStringLiteral("analysis_failed"));
    EXPECT_EQ(failed.aiRawResponseText, QStringLiteral("不是 JSON"));
    EXPECT_EQ(failed.aiJSONCandidates, QStringList{QStringLiteral("{\"a\":")});

    report(edit(QStringLiteral("纪要：今天Tovalit开周会")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_skipped")));
    EXPECT_EQ(analysisCalls.size(), 3u);
}

TEST_F(LexiconLearningTest, WithoutAChatConfigurationTheEditIsSkipped) {
    begin();
    gateway->defaultFormatter.reset();
    report(edit(QStringLiteral("纪要：今天Tovalit开会。")));
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_analysis_skipped")));
    EXPECT_EQ(lastEvent(QStringLiteral("ai_analysis_skipped"))->skipReason,
              QStringLiteral("formatter_unavailable"));
    EXPECT_TRUE(analysisCalls.empty());
}

TEST_F(LexiconLearningTest, TheTrailShortensLongTextsAndDropsBlankOnes) {
    begin();
    ObservedInsertionEditSession session = edit(QStringLiteral("纪要：今天开会。"));
    session.windowTitle = QString(200, u'标');
    session.appName = QStringLiteral("   ");
    session.originalInsertedText = QStringLiteral("\n 今天托瓦利特开会。 ");
    report(session);
    ASSERT_TRUE(waitForAction(QStringLiteral("observed_edit_session_stable")));

    const PersonalLexiconAuditEvent stable =
        *lastEvent(QStringLiteral("observed_edit_session_stable"));
    EXPECT_EQ(stable.observedWindowTitle, QString(120, u'标') + QStringLiteral("..."));
    EXPECT_EQ(stable.observedAppName, std::nullopt);
    EXPECT_EQ(stable.observedOriginalInsertedText, QStringLiteral("今天托瓦利特开会。"));
    EXPECT_EQ(stable.observedSessionID, watched);
    EXPECT_EQ(stable.skipReason, std::nullopt);
    EXPECT_EQ(stable.aiShouldLearn, std::nullopt);
    waitForAction(QStringLiteral("ai_learning_pending_commit"));
}

TEST_F(LexiconLearningTest, ACommitWhoseFirstSaveFailsIsReportedAndNotSynchronised) {
    begin();
    const std::size_t first = stage();
    breakLexiconFolder();
    finishCountdown(first);
    ASSERT_TRUE(waitForAction(QStringLiteral("ai_learning_committed")));

    const QStringList trail = actions();
    const qsizetype staged = trail.lastIndexOf(QStringLiteral("ai_learning_pending_commit"));
    EXPECT_EQ(trail.mid(staged + 1), (QStringList{QStringLiteral("local_snapshot_save_failed"),
                                                  QStringLiteral("ai_learning_committed")}));
    const PersonalLexiconAuditEvent failed =
        *lastEvent(QStringLiteral("local_snapshot_save_failed"));
    ASSERT_TRUE(failed.lastErrorMessage.has_value());
    EXPECT_EQ(panel->last(), QStringLiteral("toast 个人词库保存失败：") + *failed.lastErrorMessage +
                                 QStringLiteral(" | - | -"));
    EXPECT_TRUE(viewModel->personalLexiconEntries().isEmpty());
}

} // namespace
} // namespace tovalit
