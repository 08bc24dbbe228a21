// Learning from the user's corrections of inserted text: which stable
// edits are analysed (one at a time, one newer edit waiting), the analysis
// by the language model, and the learned change that waits five seconds
// behind an undo toast before it joins the lexicon.

#include "state/learning/edit_learning.h"

#include "services/learning/insertion_correction_learning_service.h"
#include "services/learning/lexicon_learning_ai_service.h"
#include "services/learning/lexicon_learning_ai_service_error.h"
#include "services/settings/tovalit_debug_logger.h"
#include "state/learning/edit_learning_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shared/gateway_session_recovery.h"
#include "state/shared/lexicon_date_text.h"
#include "support/app_error.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <QMetaObject>

#include <cmath>

namespace tovalit {

EditLearning::EditLearning(EditLearningHost &host, GatewaySessionRecovery &gatewayRecovery,
                           std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                           AnalysisRunner analysisRunner, Clock currentDate, Clock systemDate,
                           Sleeper sleeper)
    : m_host(host)
    , m_gatewayRecovery(gatewayRecovery)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_lexiconLearningAnalysisRunner(
          analysisRunner ? std::move(analysisRunner)
                         : [](ObservedInsertionEditSession session,
                              VellupStructuredFormatterConfiguration configuration) {
                               return LexiconLearningAIService(std::move(configuration))
                                   .analyze(std::move(session));
                           })
    , m_currentDate(std::move(currentDate))
    , m_systemDate(std::move(systemDate))
    , m_sleepForDuration(std::move(sleeper))
    , m_pendingLexiconCommitToken(QUuid::createUuid()) {}

EditLearning::~EditLearning() {
    m_pendingLexiconAnalysisTask.cancel();
    m_pendingLexiconCommitTask.cancel();
}

// --- The observed edits -------------------------------------------------------------------

QCoro::Task<void> EditLearning::handleObservedInsertionEditEvent(ObservedInsertionEditEvent event) {
    const QPointer<EditLearning> alive(this);
    const std::shared_ptr<AsyncMutex> inOrder = m_observedEditsInOrder;
    const AsyncMutex::Guard oneAtATime = co_await inOrder->lock();
    if (!alive)
        co_return;
    if (const ObservedInsertionEditSession *edited = event.session()) {
        const ObservedInsertionEditSession session = *edited;
        LexiconAIEvent stable{.action = QStringLiteral("observed_edit_session_stable"),
                              .session = session};
        co_await recordLexiconAIEvent(stable);
        if (!alive)
            co_return;
        if (shouldPreservePendingLexiconCommit(session)) {
            // The field settled again on the text whose change is already
            // counting down: the countdown goes on.
            LexiconAIEvent unchanged{.action = QStringLiteral("ai_analysis_skipped"),
                                     .session = session,
                                     .skipReason = QStringLiteral("pending_commit_unchanged")};
            co_await recordLexiconAIEvent(unchanged);
            co_return;
        }
        // Whatever was waiting came from an earlier text; the newer edit
        // decides.
        cancelPendingLexiconCommit(false);
        co_await scheduleLexiconAnalysis(session);
        co_return;
    }

    const QUuid sessionID = event.sessionID();
    if (m_pendingLexiconObservedSessionID != sessionID)
        co_return;
    LexiconAIEvent reverted{.action = QStringLiteral("observed_edit_session_reverted"),
                            .observedSessionID = sessionID,
                            .skipReason = QStringLiteral("reverted_to_original")};
    co_await recordLexiconAIEvent(reverted);
    if (!alive)
        co_return;
    cancelPendingLexiconAnalysis();
    cancelPendingLexiconCommit(false);
}

// --- Scheduling ---------------------------------------------------------------------------

QString EditLearning::normalizedLexiconObservedText(const QString &text) {
    static const textkit::Regex whitespaceRuns(QStringLiteral("\\s+"));
    return textkit::trimmed(whitespaceRuns.replaceAllLiteral(text, QStringLiteral(" ")));
}

QString EditLearning::lexiconAnalysisFingerprint(const ObservedInsertionEditSession &session) {
    return session.sessionID.toString(QUuid::WithoutBraces).toUpper() + u'|' +
           normalizedLexiconObservedText(session.finalFieldText);
}

QCoro::Task<void> EditLearning::scheduleLexiconAnalysis(ObservedInsertionEditSession session) {
    // Every edit that gets here becomes the one whose result may be
    // applied, also when it is skipped below: an older analysis still
    // running then drops its result.
    m_pendingLexiconObservedSessionID = session.sessionID;

    LexiconAIEvent decision{.action = QStringLiteral("ai_analysis_skipped"), .session = session};
    if (normalizedLexiconObservedText(session.originalFieldText) ==
        normalizedLexiconObservedText(session.finalFieldText)) {
        decision.skipReason = QStringLiteral("no_effective_edit");
    } else if (const std::optional<QDateTime> until = currentLexiconAnalysisCooldownUntil()) {
        decision.skipReason = QStringLiteral("rate_limited_cooldown");
        decision.errorMessage = lexiconAnalysisCooldownMessage(*until);
    } else if (shouldSuppressDuplicateLexiconAnalysis(session)) {
        decision.skipReason = QStringLiteral("duplicate_stable_edit");
    } else if (!m_pendingLexiconAnalysisTask.isEmpty()) {
        m_queuedLexiconAnalysisSession = session;
        decision.action = QStringLiteral("ai_analysis_queued");
        decision.skipReason = QStringLiteral("analysis_in_flight");
    } else {
        startLexiconAnalysisTask(session);
        co_return;
    }
    co_await recordLexiconAIEvent(decision);
}

void EditLearning::startLexiconAnalysisTask(const ObservedInsertionEditSession &session) {
    m_pendingLexiconObservedSessionID = session.sessionID;
    m_lastLexiconAnalysisFingerprint = lexiconAnalysisFingerprint(session);
    m_lastLexiconAnalysisStartedAt = m_currentDate();
    QPointer<EditLearning> self(this);
    m_pendingLexiconAnalysisTask = spawnCancellable(
        this,
        [self, session](CancelToken token) { return runLexiconAnalysis(self, session, token); },
        QStringLiteral("lexicon analysis"));
}

QCoro::Task<void> EditLearning::drainQueuedLexiconAnalysisIfNeeded() {
    if (!m_pendingLexiconAnalysisTask.isEmpty() || !m_queuedLexiconAnalysisSession)
        co_return;
    const ObservedInsertionEditSession queued = *m_queuedLexiconAnalysisSession;
    m_queuedLexiconAnalysisSession.reset();
    // The queued edit passes every check again; a staged change stays.
    co_await scheduleLexiconAnalysis(queued);
}

void EditLearning::cancelPendingLexiconAnalysis() {
    m_pendingLexiconAnalysisTask.cancel();
    m_pendingLexiconAnalysisTask = TaskHandle();
    m_queuedLexiconAnalysisSession.reset();
}

bool EditLearning::shouldPreservePendingLexiconCommit(
    const ObservedInsertionEditSession &session) const {
    return !m_pendingLexiconCommitTask.isEmpty() &&
           m_pendingLexiconObservedSessionID == session.sessionID &&
           m_pendingLexiconCommitObservationFingerprint == lexiconAnalysisFingerprint(session);
}

bool EditLearning::shouldSuppressDuplicateLexiconAnalysis(
    const ObservedInsertionEditSession &session) const {
    if (!m_lastLexiconAnalysisFingerprint || !m_lastLexiconAnalysisStartedAt ||
        *m_lastLexiconAnalysisFingerprint != lexiconAnalysisFingerprint(session)) {
        return false;
    }
    const double elapsed =
        double(m_lastLexiconAnalysisStartedAt->msecsTo(m_currentDate())) / 1000.0;
    return elapsed < lexiconAnalysisDuplicateSuppressionWindow;
}

std::optional<QDateTime> EditLearning::currentLexiconAnalysisCooldownUntil() {
    if (!m_lexiconAnalysisCooldownUntil)
        return std::nullopt;
    if (m_currentDate() < *m_lexiconAnalysisCooldownUntil)
        return m_lexiconAnalysisCooldownUntil;
    m_lexiconAnalysisCooldownUntil.reset();
    return std::nullopt;
}

std::optional<QDateTime> EditLearning::resolvedLexiconAnalysisCooldownUntil(
    const LexiconLearningAIServiceError *error) const {
    if (!error)
        return std::nullopt;
    const QDateTime now = m_currentDate();
    // A reset time already past (a skewed server clock) would pause nothing;
    // such a rate limit gets the fallback pause like one without a time.
    if (std::optional<QDateTime> reset = error->rateLimitResetAt(); reset && *reset > now)
        return reset;
    // Only a rate limit pauses learning; any other failure is one edit's.
    if (error->kind() == LexiconLearningAIServiceError::Kind::serverError && error->status() == 429)
        return now.addMSecs(qint64(lexiconAnalysisRateLimitFallbackCooldown * 1000.0));
    return std::nullopt;
}

QString EditLearning::lexiconAnalysisCooldownMessage(const QDateTime &until) {
    return QStringLiteral("词库学习分析限流冷却中，可在 ") + LexiconDateText::format(until) +
           QStringLiteral(" 后重试。");
}

// --- The analysis -----------------------------------------------------------------------------

namespace {

using AnalysisOperation =
    std::function<QCoro::Task<LexiconLearningAIAnalysis>(VellupStructuredFormatterConfiguration)>;

// Made outside the coroutine that runs it: GCC 12 mishandles lambdas made
// inside a coroutine's body.
AnalysisOperation makeAnalysisOperation(EditLearning::AnalysisRunner runner,
                                        ObservedInsertionEditSession session) {
    return [runner = std::move(runner),
            session = std::move(session)](VellupStructuredFormatterConfiguration configuration) {
        return runner(session, std::move(configuration));
    };
}

} // namespace

QCoro::Task<void> EditLearning::runLexiconAnalysis(QPointer<EditLearning> self,
                                                   ObservedInsertionEditSession session,
                                                   CancelToken token) {
    if (self)
        co_await self->analyzeObservedInsertionEditSession(std::move(session), token);
}

QCoro::Task<void> EditLearning::finishLexiconAnalysisRun() {
    m_pendingLexiconAnalysisTask = TaskHandle();
    co_await drainQueuedLexiconAnalysisIfNeeded();
}

// After each wait the run first checks that it still counts: cancelled (by
// a revert), or the learning gone, it leaves everything alone.

QCoro::Task<void>
EditLearning::analyzeObservedInsertionEditSession(ObservedInsertionEditSession session,
                                                  CancelToken token) {
    // Whoever cancelled the run has already reset the analysis state, and a
    // newer run may own it by now.
    if (token.isCancelled())
        co_return;
    const QPointer<EditLearning> alive(this);
    if (m_pendingLexiconObservedSessionID != session.sessionID) {
        co_await finishLexiconAnalysisRun();
        co_return;
    }

    GatewaySessionRecovery::FormatterOperation<LexiconLearningAIAnalysis> operation =
        makeAnalysisOperation(m_lexiconLearningAnalysisRunner, session);
    GatewaySessionRecovery::FormatterResult<LexiconLearningAIAnalysis> answer;
    std::exception_ptr failure;
    try {
        answer = co_await m_gatewayRecovery.performFormatterOperation(std::move(operation));
    } catch (...) {
        failure = std::current_exception();
    }
    if (token.isCancelled() || !alive)
        co_return;

    if (failure) {
        m_pendingLexiconAnalysisTask = TaskHandle();
        const QString description = describeError(failure);
        LexiconAIEvent failed{.action = QStringLiteral("ai_analysis_failed"),
                              .session = session,
                              .errorMessage = description,
                              .skipReason = QStringLiteral("analysis_failed")};
        std::optional<QDateTime> cooldown;
        try {
            std::rethrow_exception(failure);
        } catch (const LexiconLearningAIServiceError &error) {
            cooldown = resolvedLexiconAnalysisCooldownUntil(&error);
            failed.rawResponseText = error.rawContentForAudit();
            failed.jsonCandidates = error.jsonCandidatesForAudit();
        } catch (...) {
        }
        if (cooldown) {
            // The cooldown only ever moves later.
            if (!m_lexiconAnalysisCooldownUntil || *m_lexiconAnalysisCooldownUntil < *cooldown)
                m_lexiconAnalysisCooldownUntil = cooldown;
            failed.action = QStringLiteral("ai_analysis_rate_limited");
            failed.skipReason = QStringLiteral("rate_limited");
        }
        co_await recordLexiconAIEvent(failed);
        if (!alive)
            co_return;
        TovalitDebugLogger::log(QStringLiteral("lexicon.ai"),
                                QStringLiteral("analysis-failed | error=") + description);
        co_await drainQueuedLexiconAnalysisIfNeeded();
        co_return;
    }
    if (!answer) {
        m_pendingLexiconAnalysisTask = TaskHandle();
        LexiconAIEvent unavailable{.action = QStringLiteral("ai_analysis_skipped"),
                                   .session = session,
                                   .skipReason = QStringLiteral("formatter_unavailable")};
        co_await recordLexiconAIEvent(unavailable);
        if (!alive)
            co_return;
        co_await drainQueuedLexiconAnalysisIfNeeded();
        co_return;
    }

    const LexiconLearningAIAnalysis analysis = answer->value;
    if (m_pendingLexiconObservedSessionID != session.sessionID) {
        // A newer stable edit arrived meanwhile; it decides.
        co_await finishLexiconAnalysisRun();
        co_return;
    }
    if (m_queuedLexiconAnalysisSession &&
        lexiconAnalysisFingerprint(*m_queuedLexiconAnalysisSession) !=
            lexiconAnalysisFingerprint(session)) {
        m_pendingLexiconAnalysisTask = TaskHandle();
        LexiconAIEvent superseded{.action = QStringLiteral("ai_analysis_superseded"),
                                  .session = session,
                                  .analysis = analysis,
                                  .skipReason = QStringLiteral("newer_stable_edit_queued")};
        co_await recordLexiconAIEvent(superseded);
        if (!alive)
            co_return;
        co_await drainQueuedLexiconAnalysisIfNeeded();
        co_return;
    }

    const InsertionCorrectionLearningResult result = InsertionCorrectionLearningService::learn(
        analysis, m_host.publishedLexiconEntries(), m_systemDate());
    m_pendingLexiconAnalysisTask = TaskHandle();
    LexiconAIEvent completed{.action = QStringLiteral("ai_analysis_completed"),
                             .session = session,
                             .analysis = analysis,
                             .result = result};
    co_await recordLexiconAIEvent(completed);
    if (!alive)
        co_return;
    if (result.entries == m_host.publishedLexiconEntries() && !result.toastMessage) {
        LexiconAIEvent nothing{.action = QStringLiteral("ai_learning_skipped"),
                               .session = session,
                               .analysis = analysis,
                               .result = result,
                               .skipReason = QStringLiteral("no_effective_candidates")};
        co_await recordLexiconAIEvent(nothing);
        if (!alive)
            co_return;
        co_await drainQueuedLexiconAnalysisIfNeeded();
        co_return;
    }
    if (m_pendingLexiconObservedSessionID != session.sessionID) {
        // Overtaken while the completion was being written down.
        co_await drainQueuedLexiconAnalysisIfNeeded();
        co_return;
    }

    // Stage the change. A queued edit waits for the end of the next run.
    const QUuid commitToken = QUuid::createUuid();
    m_pendingLexiconCommitToken = commitToken;
    m_pendingLexiconCommitObservationFingerprint = lexiconAnalysisFingerprint(session);
    const int seconds = lexiconUndoCountdownSeconds();
    LexiconAIEvent staged{.action = QStringLiteral("ai_learning_pending_commit"),
                          .session = session,
                          .analysis = analysis,
                          .result = result,
                          .toastMessage = pendingLexiconToastMessage(result, seconds)};
    co_await recordLexiconAIEvent(staged);
    if (!alive || m_pendingLexiconCommitToken != commitToken) {
        // Dropped while the record was written: no toast for a change that
        // will never come.
        co_return;
    }
    showPendingLexiconCommitToast(result, seconds, false, commitToken);
    startLexiconCommitCountdown(analysis, result, session.sessionID, commitToken);
}

// --- The undo window and the commit -----------------------------------------------------

namespace {

const QString undoneMessage = QStringLiteral("已撤销，本次不会加入个人词库。");

} // namespace

int EditLearning::lexiconUndoCountdownSeconds() {
    return std::max(1, int(std::ceil(lexiconUndoToastDuration)));
}

double EditLearning::lexiconUndoSleepDuration(int secondsRemaining) {
    if (secondsRemaining > 1)
        return 1.0;
    return std::max(lexiconUndoToastDuration - double(lexiconUndoCountdownSeconds() - 1), 0.1);
}

QString EditLearning::pendingLexiconToastMessage(const InsertionCorrectionLearningResult &result,
                                                 int secondsRemaining) {
    const QString seconds = QString::number(std::max(secondsRemaining, 1));
    const qsizetype learned = result.learnedReplacements.size() + result.learnedHotwords.size();
    if (learned >= 2) {
        return QStringLiteral("检测到你修正了 ") + QString::number(learned) +
               QStringLiteral(" 处词汇，若不撤销，将在 ") + seconds +
               QStringLiteral(" 秒后自动更新我的词条。");
    }
    if (const auto replacement = result.singleLearnedReplacement()) {
        return QStringLiteral("检测到你把“") + replacement->sourceText +
               QStringLiteral("”改成了“") + replacement->targetText +
               QStringLiteral("”，若不撤销，将在 ") + seconds +
               QStringLiteral(" 秒后自动更新我的词条。");
    }
    if (const auto hotword = result.singleLearnedHotword()) {
        return QStringLiteral("检测到你确认了“") + *hotword + QStringLiteral("”，若不撤销，将在 ") +
               seconds + QStringLiteral(" 秒后自动将它加入我的词条。");
    }
    return QStringLiteral("检测到你的改写，若不撤销，将在 ") + seconds +
           QStringLiteral(" 秒后自动更新我的词条。");
}

void EditLearning::showPendingLexiconCommitToast(const InsertionCorrectionLearningResult &result,
                                                 int secondsRemaining, bool isUpdate,
                                                 QUuid commitToken) {
    QPointer<EditLearning> self(this);
    FloatingPanelCoordinating::Action undo = [self, commitToken] {
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, commitToken] {
                if (self)
                    self->undoLexiconCommit(commitToken);
            },
            Qt::QueuedConnection);
    };
    const QString message = pendingLexiconToastMessage(result, secondsRemaining);
    if (isUpdate) {
        m_floatingPanelCoordinator->updateToast(message, QStringLiteral("撤销"),
                                                double(secondsRemaining), std::move(undo));
    } else {
        m_floatingPanelCoordinator->showToast(message, QStringLiteral("撤销"),
                                              lexiconUndoToastDuration, std::move(undo));
    }
}

void EditLearning::cancelPendingLexiconCommit(bool showFeedback) {
    m_pendingLexiconCommitTask.cancel();
    m_pendingLexiconCommitTask = TaskHandle();
    m_pendingLexiconCommitToken = QUuid::createUuid();
    m_pendingLexiconObservedSessionID.reset();
    m_pendingLexiconCommitObservationFingerprint.reset();
    if (showFeedback)
        m_floatingPanelCoordinator->showToast(undoneMessage, std::nullopt, 1.6, {});
}

void EditLearning::undoLexiconCommit(QUuid commitToken) {
    // The toast may still offer the undo while the change is being saved:
    // the user learns that it stays, rather than that it was taken back.
    if (commitToken == m_lastSavedLexiconCommitToken) {
        m_floatingPanelCoordinator->showToast(QStringLiteral("来不及撤销，本次已加入个人词库。"),
                                              std::nullopt, 1.6, {});
        return;
    }
    // A change dropped already (its edit reverted) is not in the lexicon
    // either; a newer change waiting behind a toast of its own is not this
    // undo's to drop.
    if (commitToken == m_pendingLexiconCommitToken)
        cancelPendingLexiconCommit(true);
    else
        m_floatingPanelCoordinator->showToast(undoneMessage, std::nullopt, 1.6, {});
}

void EditLearning::startLexiconCommitCountdown(const LexiconLearningAIAnalysis &analysis,
                                               const InsertionCorrectionLearningResult &result,
                                               QUuid observedSessionID, QUuid commitToken) {
    QPointer<EditLearning> self(this);
    m_pendingLexiconCommitTask = spawnCancellable(
        this,
        [self, analysis, result, observedSessionID, commitToken,
         sleeper = m_sleepForDuration](CancelToken token) {
            return runLexiconCommitCountdown(self, analysis, result, observedSessionID, commitToken,
                                             sleeper, token);
        },
        QStringLiteral("lexicon commit countdown"));
}

QCoro::Task<void> EditLearning::runLexiconCommitCountdown(QPointer<EditLearning> self,
                                                          LexiconLearningAIAnalysis analysis,
                                                          InsertionCorrectionLearningResult result,
                                                          QUuid observedSessionID,
                                                          QUuid commitToken, Sleeper sleeper,
                                                          CancelToken token) {
    const int seconds = lexiconUndoCountdownSeconds();
    for (int remaining = seconds; remaining >= 1; --remaining) {
        if (!self)
            co_return;
        if (remaining < seconds)
            self->showPendingLexiconCommitToast(result, remaining, true, commitToken);
        co_await sleeper(lexiconUndoSleepDuration(remaining), token);
        if (token.isCancelled())
            co_return;
    }
    if (self)
        co_await self->commitPendingLexicon(std::move(analysis), observedSessionID, commitToken);
}

bool EditLearning::isStagedLexiconCommit(QUuid observedSessionID, QUuid token) const {
    return token == m_pendingLexiconCommitToken &&
           m_pendingLexiconObservedSessionID == observedSessionID;
}

QCoro::Task<void> EditLearning::commitPendingLexicon(LexiconLearningAIAnalysis analysis,
                                                     QUuid observedSessionID, QUuid token) {
    if (!isStagedLexiconCommit(observedSessionID, token))
        co_return;
    // Another change of the lexicon may still be saving. Until this one's
    // own save begins it stays staged: an undo, a revert or a newer edit
    // meanwhile still takes it back.
    const QPointer<EditLearning> alive(this);
    PersonalLexiconLease lease = co_await m_host.acquirePersonalLexicon();
    if (!alive || !isStagedLexiconCommit(observedSessionID, token))
        co_return;
    // This runs inside the countdown task, which is simply let go.
    m_pendingLexiconCommitTask = TaskHandle();
    m_pendingLexiconCommitToken = QUuid::createUuid();
    m_pendingLexiconObservedSessionID.reset();
    m_pendingLexiconCommitObservationFingerprint.reset();
    m_lastSavedLexiconCommitToken = token;

    // The lexicon may have changed during the undo window (an edit on the
    // lexicon page, a history batch): the correction is learned again from
    // the lexicon as it stands now, so that nothing of that is reverted.
    const InsertionCorrectionLearningResult result = InsertionCorrectionLearningService::learn(
        analysis, m_host.publishedLexiconEntries(), m_systemDate());

    co_await m_host.commitLearnedLexiconChange(std::move(lease), result);
    if (!alive)
        co_return;
    LexiconAIEvent committed{.action = QStringLiteral("ai_learning_committed"),
                             .observedSessionID = observedSessionID,
                             .result = result};
    co_await recordLexiconAIEvent(committed);
}

} // namespace tovalit
