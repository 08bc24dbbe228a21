#pragma once

#include "models/observed_insertion_edit_event.h"
#include "models/personal_lexicon_audit_event.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/learning/insertion_correction_learning_result.h"
#include "services/learning/lexicon_learning_ai_analysis.h"
#include "support/async_mutex.h"
#include "support/clock.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class EditLearningHost;
class FloatingPanelCoordinating;
class GatewaySessionRecovery;
class LexiconLearningAIServiceError;

// Learning from the user's corrections of inserted text: which stable
// edits are analysed (one at a time, one newer edit waiting), the analysis
// by the language model, the learned change that waits behind an undo
// toast before it joins the lexicon, and the audit trail of each decision.
//
// Lives on the GUI thread; every member runs there.
class EditLearning : public QObject {
    Q_OBJECT

public:
    // Asks the language model what an edit teaches.
    using AnalysisRunner = std::function<QCoro::Task<LexiconLearningAIAnalysis>(
        ObservedInsertionEditSession session,
        VellupStructuredFormatterConfiguration configuration)>;

    static constexpr double lexiconUndoToastDuration = 5.0;
    static constexpr double lexiconAnalysisDuplicateSuppressionWindow = 12.0;
    static constexpr double lexiconAnalysisRateLimitFallbackCooldown = 30.0;

    // `analysisRunner` empty: the learning service of the formatter's
    // configuration. `currentDate` times analyses and cooldowns,
    // `systemDate` stamps learned entries, `sleeper` counts down the undo
    // window.
    EditLearning(EditLearningHost &host, GatewaySessionRecovery &gatewayRecovery,
                 std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                 AnalysisRunner analysisRunner, Clock currentDate, Clock systemDate,
                 Sleeper sleeper);
    // Cancels the analysis and the countdown under way.
    ~EditLearning() override;
    EditLearning(const EditLearning &) = delete;
    EditLearning &operator=(const EditLearning &) = delete;

    // What the insertion's observer reports of the text it inserted: an
    // edit that has settled, or a return to the inserted text.
    QCoro::Task<void> handleObservedInsertionEditEvent(ObservedInsertionEditEvent event);

private:
    // One decision of learning from the user's edits, before shortening.
    struct LexiconAIEvent {
        QString action = {};
        std::optional<ObservedInsertionEditSession> session = {};
        // Used when there is no session.
        std::optional<QUuid> observedSessionID = {};
        std::optional<LexiconLearningAIAnalysis> analysis = {};
        std::optional<InsertionCorrectionLearningResult> result = {};
        std::optional<QString> errorMessage = {};
        std::optional<QString> skipReason = {};
        std::optional<QString> toastMessage = {};
        std::optional<QString> rawResponseText = {};
        std::optional<QStringList> jsonCandidates = {};

        // The audit event with every free text shortened.
        PersonalLexiconAuditEvent auditEvent() const;
    };

    // Observation, analysis and the undo window (edit_learning.cpp).
    QCoro::Task<void> scheduleLexiconAnalysis(ObservedInsertionEditSession session);
    void startLexiconAnalysisTask(const ObservedInsertionEditSession &session);
    QCoro::Task<void> drainQueuedLexiconAnalysisIfNeeded();
    void cancelPendingLexiconAnalysis();
    bool shouldPreservePendingLexiconCommit(const ObservedInsertionEditSession &session) const;
    bool shouldSuppressDuplicateLexiconAnalysis(const ObservedInsertionEditSession &session) const;
    // Forgets a cooldown that has ended.
    std::optional<QDateTime> currentLexiconAnalysisCooldownUntil();
    std::optional<QDateTime>
    resolvedLexiconAnalysisCooldownUntil(const LexiconLearningAIServiceError *error) const;
    static QString lexiconAnalysisCooldownMessage(const QDateTime &until);
    // The session id and the final text with white space collapsed.
    static QString lexiconAnalysisFingerprint(const ObservedInsertionEditSession &session);
    static QString normalizedLexiconObservedText(const QString &text);
    static QCoro::Task<void> runLexiconAnalysis(QPointer<EditLearning> self,
                                                ObservedInsertionEditSession session,
                                                CancelToken token);
    QCoro::Task<void> analyzeObservedInsertionEditSession(ObservedInsertionEditSession session,
                                                          CancelToken token);
    QCoro::Task<void> finishLexiconAnalysisRun();
    static int lexiconUndoCountdownSeconds();
    static double lexiconUndoSleepDuration(int secondsRemaining);
    static QString pendingLexiconToastMessage(const InsertionCorrectionLearningResult &result,
                                              int secondsRemaining);
    void showPendingLexiconCommitToast(const InsertionCorrectionLearningResult &result,
                                       int secondsRemaining, bool isUpdate, QUuid commitToken);
    void cancelPendingLexiconCommit(bool showFeedback);
    // The undo button of the toast of the change staged under `commitToken`.
    void undoLexiconCommit(QUuid commitToken);
    void startLexiconCommitCountdown(const LexiconLearningAIAnalysis &analysis,
                                     const InsertionCorrectionLearningResult &result,
                                     QUuid observedSessionID, QUuid commitToken);
    static QCoro::Task<void> runLexiconCommitCountdown(QPointer<EditLearning> self,
                                                       LexiconLearningAIAnalysis analysis,
                                                       InsertionCorrectionLearningResult result,
                                                       QUuid observedSessionID, QUuid commitToken,
                                                       Sleeper sleeper, CancelToken token);
    bool isStagedLexiconCommit(QUuid observedSessionID, QUuid token) const;
    // Learns the analysis again from the lexicon as it stands at the commit.
    QCoro::Task<void> commitPendingLexicon(LexiconLearningAIAnalysis analysis,
                                           QUuid observedSessionID, QUuid token);

    // The audit trail (edit_learning_audit.cpp).
    QCoro::Task<void> recordLexiconAIEvent(const LexiconAIEvent &event);
    // Trimmed; absent when blank; a text over `limit` characters becomes
    // its first `limit` characters and "...".
    static std::optional<QString> truncatedLexiconAuditText(const std::optional<QString> &text,
                                                            qsizetype limit);
    static QList<PersonalLexiconAuditCandidate>
    makeLexiconAuditCandidates(const QList<LexiconLearningAICandidate> &candidates);
    static QStringList makeLexiconAuditTextSamples(const QStringList &texts, qsizetype limit);
    static QStringList
    makeLexiconAuditReplacementPairs(const QList<ObservedInsertionCorrection> &pairs);
    static QStringList makeLexiconAuditTerms(const QStringList &terms);

    // --- Collaborators ------------------------------------------------------------
    EditLearningHost &m_host;
    GatewaySessionRecovery &m_gatewayRecovery;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    AnalysisRunner m_lexiconLearningAnalysisRunner;
    Clock m_currentDate;
    Clock m_systemDate;
    Sleeper m_sleepForDuration;

    // --- State ----------------------------------------------------------------------
    TaskHandle m_pendingLexiconAnalysisTask;
    TaskHandle m_pendingLexiconCommitTask;
    QUuid m_pendingLexiconCommitToken;
    // Observed edits are handled one at a time, in the order seen. Each
    // first waits for its audit record; one whose record happened to be
    // written sooner would otherwise overtake an older edit, which would
    // then become the one analysed next. Shared, so that a handler
    // outliving this object can still let go.
    std::shared_ptr<AsyncMutex> m_observedEditsInOrder = std::make_shared<AsyncMutex>();
    std::optional<QUuid> m_pendingLexiconObservedSessionID;
    std::optional<QString> m_pendingLexiconCommitObservationFingerprint;
    // The staged change whose save began last: too late for its undo.
    QUuid m_lastSavedLexiconCommitToken;
    std::optional<ObservedInsertionEditSession> m_queuedLexiconAnalysisSession;
    std::optional<QString> m_lastLexiconAnalysisFingerprint;
    std::optional<QDateTime> m_lastLexiconAnalysisStartedAt;
    std::optional<QDateTime> m_lexiconAnalysisCooldownUntil;
};

} // namespace tovalit
