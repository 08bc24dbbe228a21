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
    // What the steps of a stop hand on to the next.
    struct StopRun {
        QUuid sessionID;
        // The live text may lack words lost at a break of its stream, and
        // is recognised again from the recording.
        bool liveTextIsIncomplete = false;
        // A meeting keeps its live text across a break, with a note.
        bool wordsAtTheBreakMayBeMissing = false;
        // Names a stream that broke.
        std::optional<QString> streamNote;
        HUDPresentationMode deliveryPresentation = HUDPresentationMode::standard;
        std::optional<RecordingSessionOutput> output;
        // Keeps the recording out of a clearing of the history until its
        // record is saved.
        std::shared_ptr<RecordingHold> fileHold;
    };
    struct LiveFinish {
        QString text;
        std::optional<QString> warning;
    };
    // The words heard, after the recording was recognised again if need be.
    struct StopHeard {
        QString text;
        std::optional<QString> warning;
        std::optional<QString> supplementNote;
        std::optional<QString> missingWordsNote;
    };
    // The text to deliver: the instruction's, the formatter's, or the words.
    struct StopRewrite {
        InstructionRoutingResult routing = InstructionRoutingResult::notRouted();
        QString finalText;
        std::optional<QString> stepNote;
    };
    struct StopFiling {
        std::optional<RecordingSessionOutput> retained;
        TranscriptRecordStatus status = TranscriptRecordStatus::completed;
        QString note;
        TranscriptRecord record;
    };

    QCoro::Task<void> stopRecording(RecordingStopSource triggerSource);
    // How a break of the live stream bears on the stop's text and note.
    void judgeLiveStreamBreak(StopRun &run);
    // Ends what ran beside the recording and shows the thinking panel;
    // returns how the delivery shows itself.
    HUDPresentationMode enterStopThinking(RecordingStopSource triggerSource);
    // Stops the capture, keeping its file; a quit files the stop from now
    // until its record is on its way.
    void endCaptureForStop(StopRun &run);
    // The live recogniser's final text, or what one that could not finish
    // still had, with a warning.
    QCoro::Task<LiveFinish> finishLiveTranscriber();
    // Drops the live recogniser and keeps the words heard for the next
    // start; returns them.
    QString settleLiveTranscript(const StopRun &run, const QString &sessionText);
    // The recording recognised again where the live text falls short.
    QCoro::Task<StopHeard> supplementLiveTranscript(QString resolved,
                                                    std::optional<QString> recognitionWarning,
                                                    std::optional<RecordingSessionOutput> output,
                                                    bool liveTextIsIncomplete,
                                                    bool wordsAtTheBreakMayBeMissing);
    // A spoken instruction runs, or the text is formatted (a meeting's
    // summarised).
    QCoro::Task<StopRewrite> rewriteStoppedText(QString heard, QString replaced,
                                                NaturalModeStage stage);
    QCoro::Task<std::optional<InsertionResult>>
    deliverStoppedText(QUuid sessionID, QString finalText, HUDPresentationMode presentation);
    StopFiling recordOfStop(const StopRun &run, const StopHeard &heard, const StopRewrite &rewrite,
                            const std::optional<InsertionResult> &result) const;
    // Hands the record to the history; the stop fails when it is refused.
    QCoro::Task<void> fileStop(StopFiling filing, StopRewrite rewrite, QString heard,
                               std::optional<InsertionResult> result,
                               std::shared_ptr<RecordingHold> fileHold);
    // The record is saved: the result is shown and the session ends.
    void finishStop(const StopFiling &filing, const StopRewrite &rewrite,
                    const std::optional<InsertionResult> &result);
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
