#pragma once

#include "models/active_interaction_context.h"
#include "models/insertion_result.h"
#include "models/instruction_routing_result.h"
#include "models/transcript_record.h"
#include "models/vellup_speech_configuration.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "services/capture/audio_capture_service.h"
#include "services/speech/live_transcriber.h"
#include "services/text_processing/natural_mode_stage.h"
#include "state/session/dictation_completion.h"
#include "state/session/dictation_delivery.h"
#include "state/session/live_transcript_accumulator.h"
#include "state/session/recording_hotkey_coordinator.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/cancel_token.h"
#include "support/clock.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class AppConfigurationStore;
class DictationSessionHost;
class EmojiPanelDismissalService;
class FloatingPanelCoordinating;
class FunctionKeySystemSettings;
class LiveAudioBufferRelay;
class RecordingHold;
class RemoteDesktopKeyboardAccess;

// One dictation from the trigger to its record: the recording and its
// identity, the live recogniser with its break and recovery, the stop that
// turns the recording into a delivered text and a history record, the
// cancellation, and the hand-over to a quit.
//
// Lives on the GUI thread, owned by the controller; what it needs of the
// other concerns comes through its host.
class DictationSession : public QObject {
    Q_OBJECT

public:
    // A new, unstarted live recogniser.
    using LiveTranscriberFactory = std::function<std::shared_ptr<LiveTranscriber>(
        VellupSpeechConfiguration configuration,
        std::optional<VellupSpeechLexiconConfiguration> lexicon)>;

    enum class RecordingStopSource { hotkey, hudFinishButton };
    using HUDPresentationMode = DictationDelivery::HUDPresentationMode;

    struct Collaborators {
        std::shared_ptr<AudioCaptureService> audioCaptureService;
        LiveTranscriberFactory liveTranscriberFactory;
        DictationDelivery::InteractionContextProvider interactionContextProvider;
        std::shared_ptr<EmojiPanelDismissalService> emojiPanelDismissalService;
        std::shared_ptr<FunctionKeySystemSettings> functionKeySystemSettings;
        // In a Wayland session, the keyboard the desktop lends for pastes;
        // asked for when a recording starts. Null elsewhere.
        std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard;
        // The session clock and sleeper: recording start times, the quit's
        // grace.
        Clock currentDate;
        Sleeper sleepForDuration;
        // Measures the stop guard of a press, which a step of the wall
        // clock must not stretch or shorten.
        MonotonicClock uptime;
    };

    DictationSession(DictationSessionHost &host, AppConfigurationStore &configurationStore,
                     GatewaySessionRecovery &gatewayRecovery,
                     std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                     DictationDelivery &delivery, DictationCompletion &completion,
                     Collaborators collaborators, QObject *parent = nullptr);
    ~DictationSession() override;

    // --- Trigger ------------------------------------------------------------------
    // Starts, stops or ignores, by the state and the recording's age.
    QCoro::Task<void> toggleRecording();
    // The toggle in a task of its own. Returns at once.
    void handleHotkeyTrigger();
    // Lets a quit leave no dictation unrecorded: a running recording is
    // filed as cancelled with its audio kept; a stop being processed gets
    // `graceSeconds` (less once `hurry` is cancelled) to file its own record,
    // and one whose text is being typed then `typingCeilingSeconds` more,
    // after which it is filed as typed but not confirmed.
    QCoro::Task<void> finishDictationBeforeQuit(double graceSeconds, CancelToken hurry);
    static constexpr double typingCeilingSeconds = 3.0;

    // --- Identity, as the meeting and the lexicon's follow-ups read it --------------
    QUuid activeSessionID() const { return m_activeRecordingSessionID; }
    // The session is still the current one and was not cancelled.
    bool isCurrentSession(const QUuid &sessionID) const;
    std::optional<QDateTime> recordingStartedAt() const { return m_recordingStartedAt; }
    // A follow-up of `followUpOf` speaks no more once a later dictation has
    // begun; null for every change that is no follow-up.
    bool isSilencedFollowUp(const QUuid &followUpOf) const;

    // --- What the meeting and the retry change -----------------------------------
    void setEngineStatusNote(QString note) { m_engineStatusNote = std::move(note); }
    // Names the live recogniser in the engine note; false when none runs.
    bool refreshLiveEngineStatusNote();
    void clearLiveTranscriptAccumulator() { m_liveTranscriptAccumulator.reset(); }
    void presentRecordingHUD();
    // The recording has just become a meeting: a run that ends before the
    // next words must still leave it to be filed as a meeting.
    void keepRecordingBecameMeeting();

    // --- What the retry of an archived recording shares -----------------------------
    QUuid prepareNewSession();
    void clearSessionContext();
    // Drops a live recogniser left behind by a failure.
    void discardLiveTranscriber();
    // What a saved record teaches the lexicon, learned after the dictation
    // (or retry) has ended, in the session that follows it.
    void startHistoryLearningFollowUp(const TranscriptRecord &record);

    // Five resting meter bars.
    static const QList<double> &idleWaveformLevels();

    static constexpr double tapStopGuardInterval = 0.35;
    static constexpr int liveAudioBacklogLimit = 160;
    static constexpr double wordsKeptEverySeconds = 2.0;

private:
    template <typename Value>
    using SpeechOperation = GatewaySessionRecovery::SpeechOperation<Value>;
    template <typename Value>
    using SpeechResult = GatewaySessionRecovery::SpeechResult<Value>;

    void cancelActiveSession();
    void dismissEmojiPanelIfNeeded(RecordingStopSource source);

    // --- Recording start (dictation_session_start.cpp) -------------------------------
    QCoro::Task<void> startRecording();
    QCoro::Task<std::shared_ptr<LiveTranscriber>>
    startLiveTranscriber(VellupSpeechConfiguration configuration, QUuid sessionID);
    QCoro::Task<std::shared_ptr<LiveTranscriber>>
    startReplacementTranscriber(VellupSpeechConfiguration configuration, QUuid sessionID);
    std::shared_ptr<LiveTranscriber>
    makeStreamingTranscriber(VellupSpeechConfiguration configuration, QUuid sessionID);
    QCoro::Task<void> beginRecording(std::shared_ptr<LiveTranscriber> transcriber, QUuid sessionID);
    void handleRecordingDidStart(QDateTime startedAt);
    QCoro::Task<void> primeInteractionContext(QUuid sessionID);
    void refreshLiveEngineStatusNote(const LiveTranscriber &transcriber, bool recovered);
    void cleanupFailedRecordingStartup(bool clearSession);
    void detachCaptureCallbacks();

    // --- Cancellation (dictation_session_start.cpp) ------------------------------------
    QCoro::Task<void> cancelCurrentSession();
    // Stops capture (keeping the file or not) and drops the live recogniser
    // and whatever runs for the recording.
    std::optional<RecordingSessionOutput> endRecordingCapture(bool keepAudioFile);

    // --- Live transcript and recovery (dictation_session_live.cpp) -----------------------
    void configureLiveTranscriber(const std::shared_ptr<LiveTranscriber> &transcriber,
                                  QUuid sessionID);
    void handleLivePartial(const QString &text, QUuid sessionID);
    // Keeps the words heard so far of the recording in `audioFileName` for
    // the next start, should this run end before the record is written:
    // at most every `wordsKeptEverySeconds` while the words grow, and at
    // once when `now` (the recogniser's whole text).
    void keepWordsHeard(const std::optional<QString> &audioFileName, const QString &words,
                        bool now);
    void handleLiveLevels(QList<double> levels, QUuid sessionID);
    // `source`: the recogniser that reported the break.
    QCoro::Task<void> handleLiveTranscriberInterruption(std::exception_ptr error, QUuid sessionID,
                                                        std::weak_ptr<LiveTranscriber> source);
    QCoro::Task<void> recoverLiveTranscriberIfNeeded(QUuid sessionID, QString interruptionReason,
                                                     CancelToken token);
    void failLiveTranscriberRecovery(const QString &detail);
    // The engine note of a stream that broke and was not rebuilt.
    QString interruptedStreamNote() const;
    void cancelLiveTranscriberRecovery(bool resetRelay);

    // --- Recording stop (dictation_session_stop.cpp) -----------------------------------
    QCoro::Task<void> stopRecording(RecordingStopSource triggerSource);
    // The end of a stop whose record the history would not take.
    QCoro::Task<void> failStop(std::optional<RecordingSessionOutput> retained, QString finalText,
                               QString heard, std::exception_ptr error,
                               std::shared_ptr<RecordingHold> fileHold);

    // --- Quitting (dictation_session_quit.cpp) --------------------------------------------
    // The stop of `sessionID` still has its record to file: no quit has
    // filed it for it.
    bool isStopUnfiled(const QUuid &sessionID) const;
    // The stop's text is about to reach the focused input: from now on a
    // quit cannot file it as cancelled. False once a quit has filed it.
    bool beginInsertingStop(const QUuid &sessionID);
    // Files the stop the quit could not wait for: as cancelled, or, when its
    // text was being typed, as a warning that the typing was not confirmed.
    QCoro::Task<void> fileDictationEndedByQuit(std::optional<RecordingSessionOutput> output,
                                               bool wasBeingTyped);

    // --- Collaborators --------------------------------------------------------------------
    DictationSessionHost &m_host;
    AppConfigurationStore &m_configurationStore;
    GatewaySessionRecovery &m_gatewayRecovery;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    DictationDelivery &m_delivery;
    DictationCompletion &m_completion;
    std::shared_ptr<AudioCaptureService> m_audioCaptureService;
    LiveTranscriberFactory m_liveTranscriberFactory;
    DictationDelivery::InteractionContextProvider m_interactionContextProvider;
    std::shared_ptr<EmojiPanelDismissalService> m_emojiPanelDismissalService;
    std::shared_ptr<FunctionKeySystemSettings> m_functionKeySystemSettings;
    std::shared_ptr<RemoteDesktopKeyboardAccess> m_remoteDesktopKeyboard;
    Clock m_currentDate;
    Sleeper m_sleepForDuration;
    MonotonicClock m_uptime;

    // --- Session state ----------------------------------------------------------------------
    RecordingHotkeyCoordinator m_recordingHotkeyCoordinator;
    std::shared_ptr<LiveTranscriber> m_transcriber;
    // Shared so that the capture thread's callback can hold it weakly.
    std::shared_ptr<LiveAudioBufferRelay> m_liveAudioBufferRelay;
    LiveTranscriptAccumulator m_liveTranscriptAccumulator;
    std::optional<QString> m_engineStatusNote;
    QUuid m_activeRecordingSessionID;
    bool m_isSessionCancellationRequested = false;
    std::optional<QDateTime> m_recordingStartedAt;
    // The same moment on the monotonic clock; set and cleared with it.
    std::optional<double> m_recordingStartedUptime;
    TaskHandle m_liveTranscriberRecoveryTask;
    // The live stream broke during this recording; and, once known, that
    // audio never reached a live stream at all (a rebuild failed, or came
    // after the backlog had dropped buffers). Both stay set until the
    // session ends.
    bool m_liveStreamBroke = false;
    bool m_liveAudioLost = false;
    // A stopped recording whose record is not yet on its way to the
    // history: what a quit that cannot wait files for it.
    struct UnfiledStop {
        QUuid sessionID;
        std::optional<RecordingSessionOutput> output;
        // Its text went to the focused input: typed or not, the stop
        // learns which only once the insertion ends.
        bool isInserting = false;
    };
    std::optional<UnfiledStop> m_unfiledStop;
    // When the words heard were last kept for the next start (monotonic).
    std::optional<double> m_wordsLastKeptAt;
};

} // namespace tovalit
