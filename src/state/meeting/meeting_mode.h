#pragma once

#include "models/formatted_text.h"
#include "models/meeting_hud_content.h"
#include "models/meeting_mode_timings.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/meeting/meeting_transcript_follower.h"
#include "services/text_processing/structured_formatting_task.h"
#include "services/text_processing/transcript_cleanup_service.h"
#include "support/clock.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class AppConfigurationStore;
class FloatingPanelCoordinating;
class GatewaySessionRecovery;
class MeetingModeHost;

// How a long recording becomes a meeting and what the meeting grows while
// it runs: the threshold, the countdown and entry, the summary ticks that
// build the stage tree, the raw segments of the panel, the meeting log, and
// the minutes at the stop.
//
// Lives on the GUI thread, owned by the session controller, and reaches the
// session and the published meeting values only through its host. Its
// tasks end with it.
class MeetingMode : public QObject {
    Q_OBJECT

public:
    // Rewrites a text for a task; may be called from any thread.
    using StructuredFormattingRunner =
        std::function<QCoro::Task<QString>(QString text, StructuredFormattingTask task,
                                           VellupStructuredFormatterConfiguration configuration)>;

    // `host` and the stores outlive the meeting; `floatingPanelCoordinator`
    // is never null.
    MeetingMode(MeetingModeHost &host, AppConfigurationStore &configurationStore,
                GatewaySessionRecovery &gatewayRecovery,
                std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                StructuredFormattingRunner structuredFormattingRunner, MeetingModeTimings timings,
                Clock currentDate, Sleeper sleepForDuration);
    ~MeetingMode() override;
    MeetingMode(const MeetingMode &) = delete;
    MeetingMode &operator=(const MeetingMode &) = delete;

    // --- The session's seam ---------------------------------------------------
    // The meeting setting switched, while recording or not.
    void handleMeetingModeToggleChange(bool enabled);
    // Capture has started: the wait for the threshold begins.
    void scheduleMeetingModeThresholdIfNeeded();
    // The recording ends: no wait nor tick goes on, and no countdown shows;
    // what the recording became stays for its minutes.
    void stopMeetingModeRuntimeTasks();
    // A new recording, or one that is over: no meeting at all.
    void resetMeetingModeSessionState();
    // The countdown's cancel button: this recording stays a dictation.
    void cancelMeetingModeAutoEntry();
    // The countdown's confirm button, and the countdown's own end.
    QCoro::Task<void> enterMeetingModeIfNeeded();
    // Each partial result of the live recogniser, merged.
    void handleMeetingLiveTranscriptUpdate(const QString &transcript);
    // Writes nothing unless this recording is a meeting or the setting is on.
    void logMeetingStreamEvent(const QString &event, const QString &detail);
    // The minutes of a meeting that stopped.
    QCoro::Task<FormattedText> formatMeetingFinalSummary(QString rawTranscript,
                                                         QString normalizedTranscript);

    // --- What the recording panel shows -----------------------------------------
    MeetingHUDContent meetingHUDContent() const;
    std::optional<QString> meetingModeCountdownToastMessage() const;
    // What the loop runs with, for the texts that state its interval.
    const MeetingModeTimings &meetingModeTimings() const { return m_meetingModeTimings; }

private:
    // What one summary request came to. The response is "[不新增]" unless
    // the model produced a stage.
    struct MeetingIncrementalFormatResult {
        enum class Outcome { produced, noUpdate, failed };
        Outcome outcome = Outcome::failed;
        QString responseText;
    };

    static constexpr int meetingIncrementalContextSegmentLimit = 2;
    static constexpr int meetingIncrementalFallbackContextCharacterLimit = 220;
    static constexpr int meetingIncrementalMustDecideDurationSeconds = 45;
    static constexpr int meetingIncrementalMustDecideCharacterLimit = 480;

    // Threshold, countdown and entry (meeting_mode.cpp).
    QCoro::Task<void> waitForMeetingModeThreshold(QUuid sessionID, double wait, CancelToken token);
    void beginMeetingModeCountdownIfNeeded();
    QCoro::Task<void> runMeetingModeCountdown(QUuid sessionID, int seconds, CancelToken token);
    bool shouldContinueMeetingModeFlow(const QUuid &sessionID) const;
    bool isRecording() const;
    int currentMeetingElapsedSeconds() const;

    // Summary ticks (meeting_mode_tick.cpp).
    void startMeetingMinuteUpdateLoop();
    QCoro::Task<void> runMeetingMinuteUpdateLoop(QUuid sessionID, double interval,
                                                 CancelToken token);
    QCoro::Task<void> appendMeetingMinuteBlockIfNeeded(bool force);
    // `tick` carries every field of the request but the pending text.
    QCoro::Task<MeetingIncrementalFormatResult>
    formatMeetingIncrementalBlock(QString text, StructuredFormattingTask::MeetingIncremental tick);
    QString meetingIncrementalCurrentStageTitle() const;
    QString meetingIncrementalCurrentStageOutline() const;
    QStringList meetingIncrementalCurrentStageModuleNames() const;
    int meetingIncrementalCurrentStageTextModuleCount() const;
    QStringList meetingIncrementalPreviousStageOutlines() const;
    QString meetingIncrementalRecentContext() const;

    // Transcript and log (meeting_mode_live.cpp).
    QString currentMeetingTranscriptSnapshot() const;
    // Under the session of the recording that sent the tick.
    void logMeetingIncrementalDecision(const StructuredFormattingTask::MeetingIncremental &tick,
                                       const QString &currentWindow, const QString &response,
                                       const QString &result, const QUuid &sessionID);

    // Minutes (meeting_mode_minutes.cpp).
    QString fallbackMeetingSummary(const QString &transcript) const;

    MeetingModeHost &m_host;
    AppConfigurationStore &m_configurationStore;
    GatewaySessionRecovery &m_gatewayRecovery;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    StructuredFormattingRunner m_structuredFormattingRunner;
    TranscriptCleanupService m_cleanupService;
    MeetingModeTimings m_meetingModeTimings;
    Clock m_currentDate;
    Sleeper m_sleepForDuration;

    TaskHandle m_meetingThresholdTask;
    TaskHandle m_meetingCountdownTask;
    TaskHandle m_meetingMinuteUpdateTask;
    bool m_meetingModeAutoEntryDismissed = false;
    QString m_lastMeetingTranscriptSnapshot;
    // Reads each partial result's transcript from where the last one
    // changed, for the increment and the raw segments.
    MeetingTranscriptFollower m_meetingTranscriptFollower;
    QString m_pendingMeetingIncrementalText;
    int m_pendingMeetingIncrementalStartSecond = 0;
    QString m_lastMeetingEvaluatedIncrementalText;
};

} // namespace tovalit
