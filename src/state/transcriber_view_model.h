#pragma once

#include "models/active_interaction_context.h"
#include "models/app_toast_state.h"
#include "models/insertion_result.h"
#include "models/instruction_library_entry.h"
#include "models/instruction_routing_result.h"
#include "models/meeting_asr_segment.h"
#include "models/meeting_hud_content.h"
#include "models/meeting_minute_block.h"
#include "models/meeting_mode_timings.h"
#include "models/observed_insertion_edit_event.h"
#include "models/permission_authorization_state.h"
#include "models/personal_lexicon_audit_event.h"
#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_entry.h"
#include "models/personal_lexicon_history_learning_state.h"
#include "models/recording_state.h"
#include "models/shortcut_activation_state.h"
#include "models/shortcut_configuration.h"
#include "models/shortcut_route.h"
#include "models/transcript_record.h"
#include "models/vellup_speech_configuration.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/capture/audio_capture_service.h"
#include "services/learning/insertion_correction_learning_result.h"
#include "services/learning/lexicon_learning_ai_analysis.h"
#include "services/meeting/meeting_transcript_follower.h"
#include "services/speech/live_transcriber.h"
#include "services/text_processing/natural_mode_stage.h"
#include "services/text_processing/structured_formatting_task.h"
#include "services/text_processing/transcript_cleanup_service.h"
#include "state/learning/edit_learning.h"
#include "state/learning/edit_learning_host.h"
#include "state/lexicon/lexicon_host.h"
#include "state/lexicon/lexicon_keeper.h"
#include "state/live_transcript_accumulator.h"
#include "state/recording_hotkey_coordinator.h"
#include "state/shared/dictation_result_texts.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/app_error.h"
#include "support/async_mutex.h"
#include "support/clock.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUuid>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class ActiveInteractionContextService;
class AppConfigurationStore;
class EmojiPanelDismissalService;
class FileViewer;
class FloatingPanelCoordinating;
class FocusedInputInsertionService;
class FunctionKeySystemSettings;
class GatewaySessionProviding;
class HistoryStore;
class HotkeyMonitor;
class InstructionLibraryStore;
class LiveAudioBufferRelay;
class Pasteboard;
class PersonalLexiconEventLogging;
class PersonalLexiconStore;
class RecordingHold;
class RemoteDesktopKeyboardAccess;

// The dictation session controller: owns the services of a dictation,
// publishes the state every window, menu and panel shows, and carries each
// session from the trigger to the history record.
//
// Lives on the GUI thread; every member runs there. Its members come from
// several concerns and are implemented in one source file per concern
// (transcriber_view_model_<concern>.cpp); this header keeps them in
// matching sections.
class TranscriberViewModel : public QObject, private LexiconHost, private EditLearningHost {
    Q_OBJECT

    // --- Published state ------------------------------------------------
    // Every assignment notifies, also when the value is unchanged.
    Q_PROPERTY(RecordingState recordingState READ recordingState NOTIFY recordingStateChanged)
    Q_PROPERTY(QString liveTranscript READ liveTranscript NOTIFY liveTranscriptChanged)
    Q_PROPERTY(QString finalTranscript READ finalTranscript NOTIFY finalTranscriptChanged)
    Q_PROPERTY(QList<TranscriptRecord> records READ records NOTIFY recordsChanged)
    Q_PROPERTY(QList<double> waveformLevels READ waveformLevels NOTIFY waveformLevelsChanged)
    Q_PROPERTY(std::optional<AppToastState> appToast READ appToast WRITE setAppToast NOTIFY
                   appToastChanged)
    Q_PROPERTY(std::optional<QDateTime> lastCopiedAt READ lastCopiedAt NOTIFY lastCopiedAtChanged)
    Q_PROPERTY(std::optional<QString> lastResultMessage READ lastResultMessage NOTIFY
                   lastResultMessageChanged)
    Q_PROPERTY(QList<PersonalLexiconEntry> personalLexiconEntries READ personalLexiconEntries NOTIFY
                   personalLexiconEntriesChanged)
    Q_PROPERTY(QList<InstructionLibraryEntry> builtinInstructionLibraryEntries READ
                   builtinInstructionLibraryEntries NOTIFY builtinInstructionLibraryEntriesChanged)
    Q_PROPERTY(QList<InstructionLibraryEntry> instructionLibraryEntries READ
                   instructionLibraryEntries NOTIFY instructionLibraryEntriesChanged)
    Q_PROPERTY(PersonalLexiconCloudState personalLexiconCloudState READ personalLexiconCloudState
                   NOTIFY personalLexiconCloudStateChanged)
    Q_PROPERTY(
        PersonalLexiconHistoryLearningState personalLexiconHistoryLearningState READ
            personalLexiconHistoryLearningState NOTIFY personalLexiconHistoryLearningStateChanged)
    Q_PROPERTY(std::optional<QString> recentLexiconLearningMessage READ recentLexiconLearningMessage
                   NOTIFY recentLexiconLearningMessageChanged)
    Q_PROPERTY(ShortcutActivationState shortcutActivationState READ shortcutActivationState NOTIFY
                   shortcutActivationStateChanged)
    // Which way the shortcut takes, with the desktop's trigger or the
    // command to bind, for the shortcut card.
    Q_PROPERTY(ShortcutRoute shortcutRoute READ shortcutRoute NOTIFY shortcutRouteChanged)
    Q_PROPERTY(
        bool hasEnteredMeetingMode READ hasEnteredMeetingMode NOTIFY hasEnteredMeetingModeChanged)
    Q_PROPERTY(
        std::optional<int> meetingModeCountdownRemainingSeconds READ
            meetingModeCountdownRemainingSeconds NOTIFY meetingModeCountdownRemainingSecondsChanged)
    Q_PROPERTY(
        QList<MeetingMinuteBlock> meetingBlocks READ meetingBlocks NOTIFY meetingBlocksChanged)
    Q_PROPERTY(QList<MeetingASRSegment> meetingRawSegments READ meetingRawSegments NOTIFY
                   meetingRawSegmentsChanged)

public:
    // --- Injected operations ----------------------------------------------
    // Session code reaches formatting, analysis, recognition, insertion and
    // context capture only through these, so tests drive whole dictations
    // with doubles.

    // Rewrites a text for a task; may be called from any thread.
    using StructuredFormattingRunner =
        std::function<QCoro::Task<QString>(QString text, StructuredFormattingTask task,
                                           VellupStructuredFormatterConfiguration configuration)>;
    using LexiconLearningAnalysisRunner = EditLearning::AnalysisRunner;
    // Writes a text into the focused input; the observer may be called from
    // any thread.
    using InsertionRunner = std::function<QCoro::Task<InsertionResult>(
        QString text, std::optional<ActiveInteractionContext> context,
        ObservedInsertionEditCallback onObservedEditEvent)>;
    // A new, unstarted live recogniser.
    using LiveTranscriberFactory = std::function<std::shared_ptr<LiveTranscriber>(
        VellupSpeechConfiguration configuration,
        std::optional<VellupSpeechLexiconConfiguration> lexicon)>;
    // Recognises a whole recorded file.
    using AudioFileTranscriptionRunner = std::function<QCoro::Task<QString>(
        QString audioFile, VellupSpeechConfiguration configuration,
        std::optional<VellupSpeechLexiconConfiguration> lexicon)>;
    using InteractionContextProvider =
        std::function<QCoro::Task<std::optional<ActiveInteractionContext>>()>;
    using InteractionContextActivator =
        std::function<QCoro::Task<void>(std::optional<ActiveInteractionContext> context)>;

    // Everything the controller would otherwise make or bind itself. Empty
    // members select the defaults.
    struct Dependencies {
        bool shouldBootstrap = true;
        MeetingModeTimings meetingModeTimings = MeetingModeTimings::defaultTimings();
        // The session clock and sleeper: recording start times, meeting and
        // lexicon waits.
        Clock currentDate = systemClock();
        Sleeper sleepForDuration = systemSleeper();
        std::shared_ptr<GatewaySessionProviding> gatewaySessionService;
        std::shared_ptr<PersonalLexiconEventLogging> lexiconEventLogger;

        StructuredFormattingRunner structuredFormattingRunner;
        LexiconLearningAnalysisRunner lexiconLearningAnalysisRunner;
        LiveTranscriberFactory liveTranscriberFactory;
        AudioFileTranscriptionRunner audioFileTranscriptionRunner;
        InsertionRunner insertionRunner;
        InteractionContextProvider interactionContextProvider;
        InteractionContextActivator interactionContextActivator;

        // What the controller creates itself in the application; tests
        // hand in versions over in-memory platforms.
        std::shared_ptr<AudioCaptureService> audioCaptureService;
        std::shared_ptr<HotkeyMonitor> hotkeyMonitor;
        std::shared_ptr<FocusedInputInsertionService> insertionService;
        std::shared_ptr<ActiveInteractionContextService> interactionContextService;
        std::shared_ptr<InstructionLibraryStore> instructionLibraryStore;
        std::shared_ptr<FunctionKeySystemSettings> functionKeySystemSettings;
        std::shared_ptr<EmojiPanelDismissalService> emojiPanelDismissalService;
        std::shared_ptr<Pasteboard> pasteboard;
        // In a Wayland session, the keyboard the desktop lends for pastes
        // (the permission coordinator's); asked for when a recording
        // starts. Null elsewhere.
        std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard;
        std::shared_ptr<FileViewer> fileViewer;
        // Null: the shared store on the data folder.
        HistoryStore *historyStore = nullptr;
        // The wall clock and the real-time sleeper: record and copy times
        // and the toast timer read these, not the session clock.
        Clock systemDate = systemClock();
        Sleeper toastSleeper = systemSleeper();
        // Measures the stop guard of a press, which a step of the wall
        // clock must not stretch or shorten.
        MonotonicClock uptime = systemMonotonicClock();
        // Why this run could not move a former data folder, once.
        std::function<std::optional<QString>()> takeDataFolderMoveNotice;
    };

    // `floatingPanelCoordinator` is the screen's panel (made by the
    // application, since this library draws nothing); neither pointer may
    // be null.
    TranscriberViewModel(AppConfigurationStore &configurationStore,
                         std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                         std::shared_ptr<PersonalLexiconStore> personalLexiconStore,
                         Dependencies dependencies, QObject *parent = nullptr);
    // Everything else made or bound by the controller itself.
    TranscriberViewModel(AppConfigurationStore &configurationStore,
                         std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
                         std::shared_ptr<PersonalLexiconStore> personalLexiconStore,
                         QObject *parent = nullptr);
    ~TranscriberViewModel() override;
    TranscriberViewModel(const TranscriberViewModel &) = delete;
    TranscriberViewModel &operator=(const TranscriberViewModel &) = delete;

    // --- Published state: reading -------------------------------------------
    RecordingState recordingState() const { return m_recordingState; }
    QString liveTranscript() const { return m_liveTranscript; }
    QString finalTranscript() const { return m_finalTranscript; }
    QList<TranscriptRecord> records() const { return m_records; }
    QList<double> waveformLevels() const { return m_waveformLevels; }
    std::optional<AppToastState> appToast() const { return m_appToast; }
    std::optional<QDateTime> lastCopiedAt() const { return m_lastCopiedAt; }
    std::optional<QString> lastResultMessage() const { return m_lastResultMessage; }
    QList<PersonalLexiconEntry> personalLexiconEntries() const { return m_personalLexiconEntries; }
    QList<InstructionLibraryEntry> builtinInstructionLibraryEntries() const {
        return m_builtinInstructionLibraryEntries;
    }
    QList<InstructionLibraryEntry> instructionLibraryEntries() const {
        return m_instructionLibraryEntries;
    }
    PersonalLexiconCloudState personalLexiconCloudState() const {
        return m_personalLexiconCloudState;
    }
    PersonalLexiconHistoryLearningState personalLexiconHistoryLearningState() const {
        return m_personalLexiconHistoryLearningState;
    }
    std::optional<QString> recentLexiconLearningMessage() const {
        return m_recentLexiconLearningMessage;
    }
    ShortcutActivationState shortcutActivationState() const { return m_shortcutActivationState; }
    ShortcutRoute shortcutRoute() const { return m_shortcutRoute; }
    bool hasEnteredMeetingMode() const { return m_hasEnteredMeetingMode; }
    std::optional<int> meetingModeCountdownRemainingSeconds() const {
        return m_meetingModeCountdownRemainingSeconds;
    }
    QList<MeetingMinuteBlock> meetingBlocks() const { return m_meetingBlocks; }
    QList<MeetingASRSegment> meetingRawSegments() const { return m_meetingRawSegments; }

    // The main window may take a toast down early.
    void setAppToast(std::optional<AppToastState> toast);

    // --- Derived texts ------------------------------------------------------
    // "Fn", or the modifier symbols followed by the key.
    QString shortcutDisplayName() const;
    // The status line of the main window.
    QString statusHint() const;
    // Five resting meter bars.
    static const QList<double> &idleWaveformLevels();

    // --- Dictation ----------------------------------------------------------
    // The one entry of every trigger (shortcut, menu, record button):
    // starts, stops or ignores, by the state and the recording's age.
    QCoro::Task<void> toggleRecording();
    // A press of the recording shortcut, whoever reports it (the hot-key
    // monitor, or the desktop running the entry's recording action): the
    // toggle in a task of its own. Returns at once.
    void handleHotkeyTrigger();

    // --- Quitting -----------------------------------------------------------
    // Lets a quit leave no dictation unrecorded. A recording still running
    // is stopped with its audio kept and filed as cancelled; a stop still
    // being processed gets `graceSeconds` of the session sleeper (less once
    // `hurry` is cancelled) to file its own record, and is then filed as
    // cancelled with what it has so far. Returns when nothing is left to
    // file; the caller ends the process.
    QCoro::Task<void> finishDictationBeforeQuit(double graceSeconds, CancelToken hurry);

    // --- History ------------------------------------------------------------
    QCoro::Task<void> loadHistory();
    // These start their work on the event loop and return at once.
    void deleteRecord(const TranscriptRecord &record);
    void clearHistory();
    void revealAudioFile(const TranscriptRecord &record);
    void revealTranscriptFile(const TranscriptRecord &record);
    void retryRecord(const TranscriptRecord &record);
    // Recognises the record's recording again and files the outcome as a
    // new record; the retried one stays as it was.
    QCoro::Task<void> retryArchivedRecording(TranscriptRecord record);

    // --- Pasteboard ---------------------------------------------------------
    // Copies the trimmed text with a confirmation toast; nothing for a
    // blank text.
    void copyTranscript(const QString &text);
    // Copies the trimmed text without a word; returns it, or nothing for a
    // blank text.
    std::optional<QString> copyTranscriptSilently(const QString &text);

    // --- Instruction library ----------------------------------------------------
    // What speech can call: the built-ins in their stored order, then the
    // custom entries, latest update first.
    QList<InstructionLibraryEntry> allInstructionLibraryEntries() const;
    // The editor's operations. They start their work on the event loop and
    // return at once; edits are saved one after another, each from the
    // library as the one before left it, and every outcome is a toast.
    // `id` and `createdAt` are absent for a new entry.
    void saveManualInstructionEntry(std::optional<QUuid> id, const QString &title,
                                    const QString &summary, const QString &promptTemplate,
                                    InstructionLibraryCategory category, bool enabled,
                                    qint64 maxTokens, std::optional<QDateTime> createdAt);
    // Custom entries only; a built-in one is left alone.
    void toggleInstructionEntry(const InstructionLibraryEntry &entry);
    void deleteInstructionEntry(const InstructionLibraryEntry &entry);

    // One entry per lookup key (the later update wins, the first seen on a
    // tie), latest update first, equal times by title in numeric order.
    static QList<InstructionLibraryEntry>
    sortedInstructionLibraryEntries(const QList<InstructionLibraryEntry> &entries);
    // The entry a spoken description becomes when no model drafts it,
    // stamped `now`.
    static InstructionLibraryEntry fallbackInstructionDraft(const QString &description,
                                                            const QDateTime &now);
    static InstructionLibraryCategory fallbackInstructionCategory(const QString &text);

    // --- Result texts of a dictation ------------------------------------------
    // Pure; shared by the stop and the retry.
    static TranscriptRecordStatus completionStatus(const QString &transcript,
                                                   const std::optional<QString> &recognitionWarning,
                                                   std::optional<InsertionResult> deliveryResult) {
        return DictationResultTexts::completionStatus(transcript, recognitionWarning,
                                                      std::move(deliveryResult));
    }
    static std::optional<QString> baseRecordNote(const std::optional<QString> &recognitionWarning,
                                                 std::optional<InsertionResult> deliveryResult) {
        return DictationResultTexts::baseRecordNote(recognitionWarning, std::move(deliveryResult));
    }
    static std::optional<QString>
    completedRecordNote(const QString &transcript, const std::optional<QString> &audioFileName,
                        const std::optional<QString> &recognitionWarning,
                        std::optional<InsertionResult> deliveryResult) {
        return DictationResultTexts::completedRecordNote(
            transcript, audioFileName, recognitionWarning, std::move(deliveryResult));
    }
    static std::optional<QString> hudToastMessage(TranscriptRecordStatus status,
                                                  const std::optional<QString> &note) {
        return DictationResultTexts::hudToastMessage(status, note);
    }
    // Present, non-blank parts joined with "；"; the parts are not trimmed.
    static QString joinedNote(const QList<std::optional<QString>> &parts) {
        return DictationResultTexts::joinedNote(parts);
    }

    // --- Personal lexicon ---------------------------------------------------
    // The status line of the lexicon page: the last sync error, else how
    // many of the user's own entries are synchronised and in effect, else
    // where they will be synchronised to.
    QString personalLexiconSummary() const;
    // Reads the lexicon file and publishes it, saving it when it needed
    // cleaning; the start-up's first load. Never synchronises.
    QCoro::Task<void> loadPersonalLexicon();
    // "立即同步": reads the lexicon again (saving it when it needed
    // cleaning), synchronises it with the cloud tables, and learns from the
    // whole history, as a daily batch would.
    QCoro::Task<void> refreshPersonalLexicon();
    // These start their work on the event loop and return at once; what
    // they change arrives through the published entries. Input the term
    // rules refuse is dropped without a word (the page checks it first).
    // `id` names the entry being edited; none adds a new one.
    void saveManualLexiconEntry(std::optional<QUuid> id, PersonalLexiconEntryKind kind,
                                std::optional<QString> sourceText, QString targetText, bool enabled,
                                qint64 hitCount, std::optional<QDateTime> createdAt,
                                std::optional<QDateTime> lastAppliedAt);
    // Only the entry's id counts.
    void toggleLexiconEntry(const PersonalLexiconEntry &entry);
    void deleteLexiconEntry(const PersonalLexiconEntry &entry);

    // --- Gateway session recovery -------------------------------------------
    static bool shouldRecoverGatewaySession(bool usingGateway, std::exception_ptr error) {
        return GatewaySessionRecovery::shouldRecoverGatewaySession(usingGateway, error);
    }
    static bool gatewaySessionFailureMessageContainsInvalidToken(const QString &message) {
        return GatewaySessionRecovery::gatewaySessionFailureMessageContainsInvalidToken(message);
    }

    // --- Constants ------------------------------------------------------------
    static constexpr int meetingIncrementalContextSegmentLimit = 2;
    static constexpr int meetingIncrementalFallbackContextCharacterLimit = 220;
    static constexpr int meetingIncrementalMustDecideDurationSeconds = 45;
    static constexpr int meetingIncrementalMustDecideCharacterLimit = 480;
    static constexpr double lexiconUndoToastDuration = EditLearning::lexiconUndoToastDuration;
    static constexpr double tapStopGuardInterval = 0.35;
    static constexpr int liveAudioBacklogLimit = 160;

Q_SIGNALS:
    void recordingStateChanged(const RecordingState &value);
    void liveTranscriptChanged(const QString &value);
    void finalTranscriptChanged(const QString &value);
    void recordsChanged(const QList<TranscriptRecord> &value);
    void waveformLevelsChanged(const QList<double> &value);
    void appToastChanged(const std::optional<AppToastState> &value);
    void lastCopiedAtChanged(const std::optional<QDateTime> &value);
    void lastResultMessageChanged(const std::optional<QString> &value);
    void personalLexiconEntriesChanged(const QList<PersonalLexiconEntry> &value);
    void builtinInstructionLibraryEntriesChanged(const QList<InstructionLibraryEntry> &value);
    void instructionLibraryEntriesChanged(const QList<InstructionLibraryEntry> &value);
    void personalLexiconCloudStateChanged(const PersonalLexiconCloudState &value);
    void
    personalLexiconHistoryLearningStateChanged(const PersonalLexiconHistoryLearningState &value);
    void recentLexiconLearningMessageChanged(const std::optional<QString> &value);
    void shortcutActivationStateChanged(const ShortcutActivationState &value);
    void shortcutRouteChanged(const ShortcutRoute &value);
    void hasEnteredMeetingModeChanged(bool value);
    void meetingModeCountdownRemainingSecondsChanged(std::optional<int> value);
    void meetingBlocksChanged(const QList<MeetingMinuteBlock> &value);
    void meetingRawSegmentsChanged(const QList<MeetingASRSegment> &value);

private:
    // --- Types ----------------------------------------------------------------
    enum class RecordingStopSource { hotkey, hudFinishButton };
    // Whether formatting and delivery show their progress panels.
    enum class HUDPresentationMode { standard, silent };

    template <typename Value>
    using SpeechOperation = GatewaySessionRecovery::SpeechOperation<Value>;
    template <typename Value>
    using FormatterOperation = GatewaySessionRecovery::FormatterOperation<Value>;
    template <typename Value>
    using SpeechResult = GatewaySessionRecovery::SpeechResult<Value>;
    template <typename Value>
    using FormatterResult = GatewaySessionRecovery::FormatterResult<Value>;

    // A formatted text and the note on how it was made.
    struct FormattedText {
        QString text;
        std::optional<QString> note;
    };
    struct SupplementOutcome {
        QString transcript;
        std::optional<QString> warning;
        std::optional<QString> note;
    };
    struct FinalizationFallback {
        QString text;
        QString warning;
    };

    // --- Construction (transcriber_view_model.cpp) ------------------------------
    // Takes the given collaborators and operations and makes or binds the
    // missing ones (transcriber_view_model_defaults.cpp).
    void adoptDependencies(Dependencies dependencies);
    void installSubscriptions(bool shouldBootstrap);
    void restartHotkeyMonitor();
    QCoro::Task<void> bootstrap();

    // --- Published state: writing (transcriber_view_model.cpp) ------------------
    void setRecordingState(RecordingState value);
    void setLiveTranscript(QString value);
    void setFinalTranscript(QString value);
    void setRecords(QList<TranscriptRecord> value);
    void setWaveformLevels(QList<double> value);
    void setLastCopiedAt(std::optional<QDateTime> value);
    void setLastResultMessage(std::optional<QString> value);
    void setPersonalLexiconEntries(QList<PersonalLexiconEntry> value);
    void setBuiltinInstructionLibraryEntries(QList<InstructionLibraryEntry> value);
    void setInstructionLibraryEntries(QList<InstructionLibraryEntry> value);
    void setPersonalLexiconCloudState(PersonalLexiconCloudState value);
    void setPersonalLexiconHistoryLearningState(PersonalLexiconHistoryLearningState value);
    void setRecentLexiconLearningMessage(std::optional<QString> value);
    void setShortcutActivationState(ShortcutActivationState value);
    void setShortcutRoute(ShortcutRoute value);
    void setHasEnteredMeetingMode(bool value);
    void setMeetingModeCountdownRemainingSeconds(std::optional<int> value);
    void setMeetingBlocks(QList<MeetingMinuteBlock> value);
    void setMeetingRawSegments(QList<MeetingASRSegment> value);

    // --- Session identity (transcriber_view_model.cpp) ---------------------------
    QUuid prepareNewSession();
    void clearSessionContext();
    void cancelActiveSession();
    // The session is still the current one and was not cancelled.
    bool isCurrentSession(const QUuid &sessionID) const;
    // The user-facing text of any error.
    static QString describeError(std::exception_ptr error) { return tovalit::describeError(error); }

    // --- Recording start (transcriber_view_model_recording.cpp) -----------------
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
    QString presentableGatewayFailureMessage(std::exception_ptr error) const;
    void cleanupFailedRecordingStartup(bool clearSession);
    void detachCaptureCallbacks();

    // --- Live transcript and recovery (transcriber_view_model_live.cpp) ---------
    void configureLiveTranscriber(const std::shared_ptr<LiveTranscriber> &transcriber,
                                  QUuid sessionID);
    void handleLivePartial(const QString &text, QUuid sessionID);
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

    // --- Recording stop (transcriber_view_model_stop.cpp) -----------------------
    QCoro::Task<void> stopRecording(RecordingStopSource triggerSource);
    // The end of a stop whose record the history would not take.
    QCoro::Task<void> failStop(std::optional<RecordingSessionOutput> retained, QString finalText,
                               QString heard, std::exception_ptr error,
                               std::shared_ptr<RecordingHold> fileHold);
    // What a saved record teaches the lexicon, learned after the dictation
    // (or retry) has ended, in the session that follows it.
    void startHistoryLearningFollowUp(const TranscriptRecord &record);
    // A follow-up of `followUpOf` speaks no more once a later dictation has
    // begun; null for every change that is no follow-up.
    bool isSilencedFollowUp(const QUuid &followUpOf) const override;
    // `liveTextIsIncomplete`: the live text misses part of the recording.
    QCoro::Task<SupplementOutcome>
    supplementWithArchivedVellupASRIfNeeded(QString transcript, std::optional<QString> audioURL,
                                            std::optional<QString> recognitionWarning,
                                            bool liveTextIsIncomplete,
                                            HUDPresentationMode hudPresentation);
    static std::optional<FinalizationFallback> finalizationFallback(std::exception_ptr error);
    QString replacedTranscript(const QString &heard) const;
    // The natural-mode stage for a recording of `duration` seconds.
    static NaturalModeStage stageFor(double duration, const QString &text);
    TranscriptRecord newRecord(double duration, const QString &transcript,
                               const QString &rawTranscript, std::optional<QString> audioFileName,
                               TranscriptRecordStatus status, const QString &note) const;
    // The record as the history store keeps it (with its transcript file).
    TranscriptRecord storedVersion(const TranscriptRecord &record) const;
    void finishWithCompletionPanel(std::optional<InsertionResult> result, const QString &text,
                                   const InstructionRoutingResult &routing,
                                   TranscriptRecordStatus status, const QString &note);

    // --- Formatting (transcriber_view_model_formatting.cpp) ---------------------
    QCoro::Task<FormattedText> formatTranscript(QString transcript, NaturalModeStage stage,
                                                HUDPresentationMode hudPresentation);
    QCoro::Task<std::optional<ActiveInteractionContext>> captureInteractionContextIfNeeded();
    QString cleanedOrTrimmed(const QString &trimmed) const;
    // "host: …, model: …" of the formatter a failed call used, or of the
    // configured model when it failed before reaching one.
    QString describeFormatterTarget(
        const std::optional<VellupStructuredFormatterConfiguration> &used) const;
    // "<text preview> | profile=… | before=… | selected=… | after=…".
    static QString describeForLog(const QString &text,
                                  const std::optional<ActiveInteractionContext> &context);

    // --- Delivery (transcriber_view_model_delivery.cpp) -------------------------
    QCoro::Task<std::optional<InsertionResult>> deliver(QString text,
                                                        HUDPresentationMode hudPresentation);

    // --- History (transcriber_view_model_history.cpp) ---------------------------
    QCoro::Task<void> deleteRecordNow(TranscriptRecord record);
    QCoro::Task<void> removeRecords(QList<QUuid> ids);
    QCoro::Task<void> clearHistoryNow();
    QCoro::Task<void> revealFile(QString fileName, bool audio);
    // The failure state when nothing runs, else a toast.
    void reportHistoryFailure(const QString &message);
    // Tells the user, once, of a damaged history file the store set aside.
    void reportSetAsideHistory();
    // The retry once it has passed its gate.
    QCoro::Task<void> runRetry(TranscriptRecord record);
    QCoro::Task<void> failRetry(TranscriptRecord record, std::exception_ptr error,
                                std::shared_ptr<RecordingHold> fileHold);

    // --- Recording output (transcriber_view_model_history.cpp) ------------------
    std::optional<RecordingSessionOutput>
    persistedRecordingOutput(std::optional<RecordingSessionOutput> output) const;
    TranscriptRecord failedRecord(const std::optional<RecordingSessionOutput> &output,
                                  const QString &transcript, const QString &rawTranscript,
                                  const QString &message) const;

    // --- Recording panel (transcriber_view_model_hud.cpp) -----------------------
    void presentRecordingHUD();
    void dismissEmojiPanelIfNeeded(RecordingStopSource source);
    void presentDeliveryFailureFeedbackIfNeeded(InsertionResult result, const QString &text);

    // --- Toasts (transcriber_view_model_hud.cpp) --------------------------------
    void showAppToast(const QString &message, bool isError, double duration);

    // --- Cancellation (transcriber_view_model_recording.cpp) --------------------
    QCoro::Task<void> cancelCurrentSession();
    // Stops capture (keeping the file or not) and drops the live recogniser
    // and whatever runs for the recording.
    std::optional<RecordingSessionOutput> endRecordingCapture(bool keepAudioFile);

    // --- Quitting (transcriber_view_model_quit.cpp) -----------------------------
    // The stop of `sessionID` still has its record to file: no quit has
    // filed it for it.
    bool isStopUnfiled(const QUuid &sessionID) const;
    QCoro::Task<void> fileDictationCancelledByQuit(std::optional<RecordingSessionOutput> output);

    // --- Instruction library (transcriber_view_model_instructions.cpp) ----------
    QCoro::Task<InstructionRoutingResult> routeInstructionLibraryIfNeeded(QString transcript);
    QCoro::Task<InstructionRoutingResult> executeInstruction(InstructionLibraryEntry entry,
                                                             QString input);

    // --- Instruction library state (transcriber_view_model_instructions_library.cpp)
    // Holding one keeps the library to one loader or editor at a time.
    struct InstructionLibraryLease {
        // Declared first, so the guard releases a mutex that still exists.
        std::shared_ptr<AsyncMutex> mutex;
        AsyncMutex::Guard guard;
    };
    QCoro::Task<void> loadInstructionLibrary();
    // The lease, after a load when none has read the file yet: an edit
    // never starts from a list that was not read from the file.
    QCoro::Task<InstructionLibraryLease> acquireInstructionLibrary();
    QCoro::Task<void> loadInstructionLibraryHoldingLease();
    // Why the save failed, after its toast; nothing once saved.
    QCoro::Task<std::optional<QString>>
    persistInstructionLibrary(QList<InstructionLibraryEntry> entries,
                              std::optional<QString> toastMessage);
    QCoro::Task<void> saveManualInstructionEntryNow(std::optional<QUuid> id, QString title,
                                                    QString summary, QString promptTemplate,
                                                    InstructionLibraryCategory category,
                                                    bool enabled, qint64 maxTokens,
                                                    std::optional<QDateTime> createdAt);
    QCoro::Task<void> toggleInstructionEntryNow(QUuid id);
    QCoro::Task<void> deleteInstructionEntryNow(InstructionLibraryEntry entry);

    // --- Voice-created instructions (transcriber_view_model_instructions_voice.cpp)
    QCoro::Task<InstructionRoutingResult> createInstructionFromVoice(QString description);
    QCoro::Task<InstructionLibraryEntry> buildInstructionDraft(QString description);
    void schedulePendingInstructionCreation(const InstructionLibraryEntry &entry);
    QCoro::Task<void> waitOutInstructionUndoWindow(InstructionLibraryEntry entry, QUuid token,
                                                   CancelToken cancel);
    void cancelPendingInstructionCreation(bool showFeedback);
    QCoro::Task<void> commitPendingInstructionCreation(InstructionLibraryEntry entry, QUuid token);

    // --- The lexicon keeper's host (transcriber_view_model_lexicon_host.cpp) -------
    const QList<PersonalLexiconEntry> &publishedLexiconEntries() const override;
    const PersonalLexiconCloudState &publishedLexiconCloudState() const override;
    const PersonalLexiconHistoryLearningState &publishedHistoryLearningState() const override;
    void publishLexiconEntries(QList<PersonalLexiconEntry> value) override;
    void publishLexiconCloudState(PersonalLexiconCloudState value) override;
    void publishHistoryLearningState(PersonalLexiconHistoryLearningState value) override;
    void publishRecentLexiconLearningMessage(std::optional<QString> value) override;
    void publishLastResultMessage(std::optional<QString> value) override;
    const QList<TranscriptRecord> &historyRecords() const override;

    // --- Learning's host (transcriber_view_model_learning_host.cpp) ----------------
    QCoro::Task<PersonalLexiconLease> acquirePersonalLexicon() override;
    QCoro::Task<void> commitLearnedLexiconChange(PersonalLexiconLease lease,
                                                 InsertionCorrectionLearningResult result) override;
    QCoro::Task<void> recordLexiconAuditEvent(PersonalLexiconAuditEvent event) override;

    // --- Meeting mode (transcriber_view_model_meeting.cpp) ----------------------
    // Session state, threshold, countdown and entry.
    void handleMeetingModeToggleChange(bool enabled);
    void scheduleMeetingModeThresholdIfNeeded();
    QCoro::Task<void> waitForMeetingModeThreshold(QUuid sessionID, double wait, CancelToken token);
    void beginMeetingModeCountdownIfNeeded();
    QCoro::Task<void> runMeetingModeCountdown(QUuid sessionID, int seconds, CancelToken token);
    void stopMeetingModeRuntimeTasks();
    void resetMeetingModeSessionState();
    void cancelMeetingModeAutoEntry();
    QCoro::Task<void> enterMeetingModeIfNeeded();
    bool shouldContinueMeetingModeFlow(const QUuid &sessionID) const;
    int currentMeetingElapsedSeconds() const;
    MeetingHUDContent meetingHUDContent() const;
    std::optional<QString> meetingModeCountdownToastMessage() const;

    // --- Meeting summary ticks (transcriber_view_model_meeting_tick.cpp) --------
    // What one summary request came to. The response is "[不新增]" unless
    // the model produced a stage.
    struct MeetingIncrementalFormatResult {
        enum class Outcome { produced, noUpdate, failed };
        Outcome outcome = Outcome::failed;
        QString responseText;
    };
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

    // --- Meeting transcript and log (transcriber_view_model_meeting_live.cpp) ---
    void handleMeetingLiveTranscriptUpdate(const QString &transcript);
    QString currentMeetingTranscriptSnapshot() const;
    // Writes nothing unless this recording is a meeting or the setting is on.
    void logMeetingStreamEvent(const QString &event, const QString &detail);
    // Under the session of the recording that sent the tick.
    void logMeetingIncrementalDecision(const StructuredFormattingTask::MeetingIncremental &tick,
                                       const QString &currentWindow, const QString &response,
                                       const QString &result, const QUuid &sessionID);

    // --- Meeting minutes (transcriber_view_model_meeting_minutes.cpp) -----------
    QCoro::Task<FormattedText> formatMeetingFinalSummary(QString rawTranscript,
                                                         QString normalizedTranscript);
    QString fallbackMeetingSummary(const QString &transcript) const;

    // --- Collaborators ------------------------------------------------------------
    AppConfigurationStore &m_configurationStore;
    std::shared_ptr<AudioCaptureService> m_audioCaptureService;
    std::shared_ptr<HotkeyMonitor> m_hotkeyMonitor;
    TranscriptCleanupService m_cleanupService;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    std::shared_ptr<GatewaySessionProviding> m_gatewaySessionService;
    std::unique_ptr<GatewaySessionRecovery> m_gatewayRecovery;
    std::shared_ptr<InstructionLibraryStore> m_instructionLibraryStore;
    std::shared_ptr<FocusedInputInsertionService> m_insertionService;
    std::shared_ptr<RemoteDesktopKeyboardAccess> m_remoteDesktopKeyboard;
    std::shared_ptr<ActiveInteractionContextService> m_interactionContextService;
    std::shared_ptr<FunctionKeySystemSettings> m_functionKeySystemSettings;
    std::shared_ptr<EmojiPanelDismissalService> m_emojiPanelDismissalService;
    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<FileViewer> m_fileViewer;
    HistoryStore &m_historyStore;
    // The desktop connections behind the default services.
    std::shared_ptr<void> m_desktopKeepAlive;

    // --- Injected operations --------------------------------------------------------
    StructuredFormattingRunner m_structuredFormattingRunner;
    InsertionRunner m_insertionRunner;
    LiveTranscriberFactory m_liveTranscriberFactory;
    AudioFileTranscriptionRunner m_audioFileTranscriptionRunner;
    InteractionContextProvider m_interactionContextProvider;
    InteractionContextActivator m_interactionContextActivator;
    Clock m_currentDate;
    Sleeper m_sleepForDuration;
    Clock m_systemDate;
    Sleeper m_toastSleeper;
    MonotonicClock m_uptime;
    std::function<std::optional<QString>()> m_takeDataFolderMoveNotice;
    MeetingModeTimings m_meetingModeTimings;

    // --- Published values ---------------------------------------------------------
    RecordingState m_recordingState;
    QString m_liveTranscript;
    QString m_finalTranscript;
    QList<TranscriptRecord> m_records;
    QList<double> m_waveformLevels;
    std::optional<AppToastState> m_appToast;
    std::optional<QDateTime> m_lastCopiedAt;
    std::optional<QString> m_lastResultMessage;
    QList<PersonalLexiconEntry> m_personalLexiconEntries;
    QList<InstructionLibraryEntry> m_builtinInstructionLibraryEntries;
    QList<InstructionLibraryEntry> m_instructionLibraryEntries;
    PersonalLexiconCloudState m_personalLexiconCloudState;
    PersonalLexiconHistoryLearningState m_personalLexiconHistoryLearningState;
    std::optional<QString> m_recentLexiconLearningMessage;
    ShortcutActivationState m_shortcutActivationState;
    ShortcutRoute m_shortcutRoute;
    bool m_hasEnteredMeetingMode = false;
    std::optional<int> m_meetingModeCountdownRemainingSeconds;
    QList<MeetingMinuteBlock> m_meetingBlocks;
    QList<MeetingASRSegment> m_meetingRawSegments;

    // --- Session state ----------------------------------------------------------------
    RecordingHotkeyCoordinator m_recordingHotkeyCoordinator;
    std::shared_ptr<LiveTranscriber> m_transcriber;
    // Shared so that the capture thread's callback can hold it weakly.
    std::shared_ptr<LiveAudioBufferRelay> m_liveAudioBufferRelay;
    LiveTranscriptAccumulator m_liveTranscriptAccumulator;
    std::optional<QString> m_engineStatusNote;
    std::optional<ActiveInteractionContext> m_activeInteractionContext;
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
    };
    std::optional<UnfiledStop> m_unfiledStop;
    // The retry under way. A deletion of the record it retries waits for the
    // retry's own record, which names the same recording, and takes both.
    struct RetryInFlight {
        QUuid retriedID;
        std::optional<QUuid> filedID;
        bool deletionRequested = false;
    };
    std::optional<RetryInFlight> m_retryInFlight;

    // --- Meeting state ----------------------------------------------------------------
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

    // --- Personal lexicon ------------------------------------------------------------
    std::unique_ptr<LexiconKeeper> m_lexicon;
    std::unique_ptr<EditLearning> m_editLearning;

    // --- Instruction state --------------------------------------------------------------
    TaskHandle m_pendingInstructionCreateTask;
    // Only the waiting task made with this token may still commit.
    QUuid m_pendingInstructionCreateToken;
    qint64 m_builtinInstructionTemplateVersion;
    // Shared with the tasks holding it, which may outlive the controller.
    std::shared_ptr<AsyncMutex> m_instructionLibraryMutex = std::make_shared<AsyncMutex>();
    // A load has read the file (or found none), whether or not it could
    // decode what it read.
    bool m_hasLoadedInstructionLibrary = false;
    // Why the last load could not read the file: until a load reads it,
    // nothing is saved over it.
    std::optional<QString> m_instructionLibraryReadFailure;

    // --- Toast state ----------------------------------------------------------------------
    TaskHandle m_appToastTask;

    // --- Subscriptions ------------------------------------------------------------------
    // The settings store announces every assignment; these remember the
    // last value seen, so that only changes reach the handlers.
    bool m_observedMeetingModeEnabled = false;
    ShortcutConfiguration m_observedShortcut;
    PermissionAuthorizationState m_observedInputMonitoring =
        PermissionAuthorizationState::notDetermined;
    PermissionAuthorizationState m_observedAccessibility =
        PermissionAuthorizationState::notDetermined;
    QList<QMetaObject::Connection> m_cancellables;
};

} // namespace tovalit
