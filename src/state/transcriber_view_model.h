#pragma once

#include "models/active_interaction_context.h"
#include "models/app_toast_state.h"
#include "models/insertion_result.h"
#include "models/instruction_library_entry.h"
#include "models/instruction_routing_result.h"
#include "models/meeting_asr_segment.h"
#include "models/meeting_minute_block.h"
#include "models/meeting_mode_timings.h"
#include "models/observed_insertion_edit_event.h"
#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_entry.h"
#include "models/personal_lexicon_history_learning_state.h"
#include "models/recording_state.h"
#include "models/shortcut_activation_state.h"
#include "models/shortcut_route.h"
#include "models/transcript_record.h"
#include "models/vellup_speech_configuration.h"
#include "models/vellup_speech_lexicon_configuration.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/capture/audio_capture_service.h"
#include "services/speech/live_transcriber.h"
#include "state/history/history_host.h"
#include "state/instructions/instruction_library_keeper_host.h"
#include "state/learning/edit_learning.h"
#include "state/learning/edit_learning_host.h"
#include "state/lexicon/lexicon_host.h"
#include "state/lexicon/lexicon_keeper.h"
#include "state/meeting/meeting_mode_host.h"
#include "state/session/archived_recording_retry.h"
#include "state/session/archived_recording_retry_host.h"
#include "state/session/dictation_delivery.h"
#include "state/session/dictation_delivery_host.h"
#include "state/session/dictation_session.h"
#include "state/session/dictation_session_host.h"
#include "state/shared/dictation_result_texts.h"
#include "state/shared/gateway_session_recovery.h"
#include "state/shell/app_toasts_host.h"
#include "support/app_error.h"
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
class HistoryKeeper;
class HistoryStore;
class HotkeyMonitor;
class InstructionLibraryKeeper;
class InstructionLibraryStore;
class MeetingMode;
class AppToasts;
class SettingsWatch;
class Pasteboard;
class PersonalLexiconEventLogging;
class PersonalLexiconStore;
class RecordingHold;
class RemoteDesktopKeyboardAccess;

// The dictation controller: publishes the state every window, menu and
// panel shows, routes the shortcut and the views' calls, and composes one
// object per concern, each owning its state: the dictation session (with
// its completion, delivery and the retry of an archived recording), the
// meeting, the history, the personal lexicon, learning from edits, the
// instruction library (state/<concern>/) and the toasts (state/shell/). A concern reaches the
// others only through the host interface it is given, which the controller implements
// (transcriber_view_model_<concern>_host.cpp); a published value changes
// only through its setter here, so the views see every update in order.
//
// Lives on the GUI thread; every member runs there.
class TranscriberViewModel : public QObject,
                             private DictationSessionHost,
                             private ArchivedRecordingRetryHost,
                             private DictationDeliveryHost,
                             private HistoryHost,
                             private InstructionLibraryKeeperHost,
                             private LexiconHost,
                             private EditLearningHost,
                             private MeetingModeHost,
                             private AppToastsHost {
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
    using StructuredFormattingRunner = DictationDelivery::StructuredFormattingRunner;
    using LexiconLearningAnalysisRunner = EditLearning::AnalysisRunner;
    // Writes a text into the focused input; the observer may be called from
    // any thread.
    using InsertionRunner = DictationDelivery::InsertionRunner;
    // A new, unstarted live recogniser.
    using LiveTranscriberFactory = DictationSession::LiveTranscriberFactory;
    // Recognises a whole recorded file.
    using AudioFileTranscriptionRunner = DictationCompletion::AudioFileTranscriptionRunner;
    using InteractionContextProvider = DictationDelivery::InteractionContextProvider;
    using InteractionContextActivator = DictationDelivery::InteractionContextActivator;

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
    std::optional<AppToastState> appToast() const override { return m_appToast; }
    std::optional<QDateTime> lastCopiedAt() const { return m_lastCopiedAt; }
    std::optional<QString> lastResultMessage() const { return m_lastResultMessage; }
    QList<PersonalLexiconEntry> personalLexiconEntries() const { return m_personalLexiconEntries; }
    QList<InstructionLibraryEntry> builtinInstructionLibraryEntries() const override {
        return m_builtinInstructionLibraryEntries;
    }
    QList<InstructionLibraryEntry> instructionLibraryEntries() const override {
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
    // Full paths of the lexicon file's set-aside copies still beside it.
    QStringList setAsideLexiconCopies() const { return m_setAsideLexiconCopies; }
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
    // A window that draws the toasts came on screen, or left it; each one
    // shown is hidden once, and the next may come before the last goes. A
    // notice's time runs only while one is on screen.
    void appToastSurfaceShown();
    void appToastSurfaceHidden();

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
    // The desktop ran the entry's recording action (started
    // `secondsSinceLaunch` ago, where the launch said): a press of the
    // shortcut, unless it is a repeat of a held one (desktops run a
    // shortcut's command again at each repeat of its keys).
    void handleRecordingCommand(std::optional<double> secondsSinceLaunch);

    // --- Quitting -----------------------------------------------------------
    // Lets a quit leave no dictation unrecorded. A recording still running
    // is stopped with its audio kept and filed as cancelled; a stop still
    // being processed gets `graceSeconds` of the session sleeper (less once
    // `hurry` is cancelled) to file its own record, and is then filed as
    // cancelled with what it has so far; one whose text is being typed by
    // then gets a few seconds more, and is filed as not confirmed. Returns
    // when nothing is left to file; the caller ends the process.
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
    static constexpr double lexiconUndoToastDuration = EditLearning::lexiconUndoToastDuration;

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
    void setAsideLexiconCopiesChanged(const QStringList &value);
    void shortcutActivationStateChanged(const ShortcutActivationState &value);
    void shortcutRouteChanged(const ShortcutRoute &value);
    void hasEnteredMeetingModeChanged(bool value);
    void meetingModeCountdownRemainingSecondsChanged(std::optional<int> value);
    void meetingBlocksChanged(const QList<MeetingMinuteBlock> &value);
    void meetingRawSegmentsChanged(const QList<MeetingASRSegment> &value);

private:
    // --- Types ----------------------------------------------------------------
    using HUDPresentationMode = DictationDelivery::HUDPresentationMode;

    template <typename Value>
    using SpeechOperation = GatewaySessionRecovery::SpeechOperation<Value>;
    template <typename Value>
    using FormatterOperation = GatewaySessionRecovery::FormatterOperation<Value>;
    template <typename Value>
    using SpeechResult = GatewaySessionRecovery::SpeechResult<Value>;
    template <typename Value>
    using FormatterResult = GatewaySessionRecovery::FormatterResult<Value>;

    using FormattedText = tovalit::FormattedText;

    // --- Construction (transcriber_view_model.cpp) ------------------------------
    // Makes the concern objects from the given collaborators and
    // operations, making or binding the missing ones
    // (transcriber_view_model_defaults.cpp).
    void compose(Dependencies dependencies,
                 std::shared_ptr<PersonalLexiconStore> personalLexiconStore);
    void installSubscriptions(bool shouldBootstrap);
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
    void setBuiltinInstructionLibraryEntries(QList<InstructionLibraryEntry> value) override;
    void setInstructionLibraryEntries(QList<InstructionLibraryEntry> value) override;
    void setPersonalLexiconCloudState(PersonalLexiconCloudState value);
    void setPersonalLexiconHistoryLearningState(PersonalLexiconHistoryLearningState value);
    void setRecentLexiconLearningMessage(std::optional<QString> value);
    void setShortcutActivationState(ShortcutActivationState value);
    void setShortcutRoute(ShortcutRoute value);
    void setHasEnteredMeetingMode(bool value);
    void setMeetingModeCountdownRemainingSeconds(std::optional<int> value);
    void setMeetingBlocks(QList<MeetingMinuteBlock> value);
    void setMeetingRawSegments(QList<MeetingASRSegment> value);

    // --- Session seam (transcriber_view_model_session_host.cpp) ------------------
    // The host calls the published getters and setters above do not already
    // answer.
    QMetaObject::Connection
    onRecordingStateChanged(QObject *context,
                            std::function<void(const RecordingState &)> handler) override;
    void resetMeetingSession() override;
    void stopMeetingTasks() override;
    MeetingHUDContent meetingPanelContent() const override;
    std::optional<QString> meetingCountdownToast() const override;
    void dismissMeetingAutoEntry() override;
    QCoro::Task<void> enterMeetingNow() override;
    void scheduleMeetingThreshold() override;
    void followMeetingTranscript(const QString &transcript) override;
    void logMeetingStream(const QString &event, const QString &detail) override;
    QCoro::Task<FormattedText> summarizeMeeting(QString rawTranscript,
                                                QString normalizedTranscript) override;
    std::optional<VellupSpeechLexiconConfiguration> compiledSpeechLexicon() const override;
    void startHistoryLearning(TranscriptRecord record, QUuid followUpOf) override;
    QCoro::Task<InstructionRoutingResult> routeInstruction(QString transcript) override;
    QCoro::Task<void> appendToHistory(TranscriptRecord record,
                                      std::shared_ptr<RecordingHold> fileHold) override;
    void keepWordsHeard(const QString &audioFileName, const QDateTime &startedAt, bool meeting,
                        const QString &words) override;
    TranscriptRecord storedRecord(const TranscriptRecord &record) const override;
    std::optional<RecordingSessionOutput>
    retainedRecordingOutput(std::optional<RecordingSessionOutput> output) const override;
    TranscriptRecord failedDictationRecord(const std::optional<RecordingSessionOutput> &output,
                                           const QString &transcript, const QString &rawTranscript,
                                           const QString &message) const override;
    void setEngineStatusNote(QString note) override;
    QCoro::Task<void> handleObservedInsertionEdit(ObservedInsertionEditEvent event) override;

    // Session answers the other concerns still ask of the controller.
    QString presentableGatewayFailureMessage(std::exception_ptr error) const;
    // A follow-up of `followUpOf` speaks no more once a later dictation has
    // begun; null for every change that is no follow-up.
    bool isSilencedFollowUp(const QUuid &followUpOf) const override;
    QString cleanedOrTrimmed(const QString &trimmed) const override;
    QString describeFormatterTarget(
        const std::optional<VellupStructuredFormatterConfiguration> &used) const;

    // --- The retry's seam (transcriber_view_model_session_host.cpp) --------------
    // What the retry of an archived recording asks of the history besides
    // the session's calls.
    std::shared_ptr<RecordingHold> holdRecording(const QString &fileName) override;
    QCoro::Task<std::optional<QString>> audioFileURL(QString fileName) override;
    void beginRetry(const QUuid &retriedID) override;
    void noteRetryFiled(const QUuid &filedID) override;
    QCoro::Task<void> finishRetry() override;

    // --- History host (transcriber_view_model_history_host.cpp) -----------------
    // The records, the recording state and the toasts are served by the
    // published state's own getters and setters.
    QCoro::Task<void> learnFromLoadedHistory() override;
    QCoro::Task<void> forgetClearedHistoryLearning() override;

    // --- Toasts (transcriber_view_model_hud.cpp) --------------------------------
    // The answer to something just done: shown at once, in place of
    // whatever the window shows.
    void showAppToast(const QString &message, bool isError, double duration);
    // Something the user must learn about this run (a damaged file set
    // aside, a data folder left in place, no keyring, settings not read):
    // shown in turn, each for its full time on screen.
    void showAppNotice(const QString &message) override;
    // The toasts' one way to the published toast.
    void publishAppToast(std::optional<AppToastState> toast) override;

    // --- The instruction library's host -------------------------------------------
    // The published lists' getters and setters, showAppToast(),
    // setLastResultMessage() and cleanedOrTrimmed() serve the keeper.

    // --- The lexicon keeper's host (transcriber_view_model_lexicon_host.cpp) -------
    const QList<PersonalLexiconEntry> &publishedLexiconEntries() const override;
    const PersonalLexiconCloudState &publishedLexiconCloudState() const override;
    const PersonalLexiconHistoryLearningState &publishedHistoryLearningState() const override;
    void publishLexiconEntries(QList<PersonalLexiconEntry> value) override;
    void publishLexiconCloudState(PersonalLexiconCloudState value) override;
    void publishHistoryLearningState(PersonalLexiconHistoryLearningState value) override;
    void publishRecentLexiconLearningMessage(std::optional<QString> value) override;
    void publishSetAsideLexiconCopies(QStringList paths) override;
    void publishLastResultMessage(std::optional<QString> value) override;
    const QList<TranscriptRecord> &historyRecords() const override;

    // --- Learning's host (transcriber_view_model_learning_host.cpp) ----------------
    QCoro::Task<PersonalLexiconLease> acquirePersonalLexicon() override;
    QCoro::Task<void> commitLearnedLexiconChange(PersonalLexiconLease lease,
                                                 InsertionCorrectionLearningResult result) override;
    QCoro::Task<void> recordLexiconAuditEvent(PersonalLexiconAuditEvent event) override;

    // --- Meeting host (transcriber_view_model_meeting_host.cpp) -----------------
    // The rest of the meeting's host are the controller's own members of
    // the same names: the published meeting values and their setters and
    // the failure texts. These answer for the session.
    QUuid activeRecordingSessionID() const override;
    bool isCurrentSession(const QUuid &sessionID) const override;
    std::optional<QDateTime> recordingStartedAt() const override;
    bool refreshEngineStatusNoteForMeeting() override;
    void resetLiveTranscriptAccumulator() override;
    void presentRecordingHUD() override;

    // --- Collaborators ------------------------------------------------------------
    AppConfigurationStore &m_configurationStore;
    std::shared_ptr<HotkeyMonitor> m_hotkeyMonitor;
    std::shared_ptr<FloatingPanelCoordinating> m_floatingPanelCoordinator;
    std::unique_ptr<GatewaySessionRecovery> m_gatewayRecovery;
    // The records, their files and the holds on recordings in use.
    std::unique_ptr<HistoryKeeper> m_history;
    // The desktop connections behind the default services.
    std::shared_ptr<void> m_desktopKeepAlive;

    // Why this run could not move a former data folder, once.
    std::function<std::optional<QString>()> m_takeDataFolderMoveNotice;
    // The notice that this run uses the default settings, while shown or
    // waiting to be: it is revised once the settings file reads again.
    std::optional<QString> m_unreadSettingsNotice;
    // The notice of settings that could not be saved, while it is true.
    std::optional<QString> m_unsavedSettingsNotice;

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
    QStringList m_setAsideLexiconCopies;
    ShortcutActivationState m_shortcutActivationState;
    ShortcutRoute m_shortcutRoute;
    bool m_hasEnteredMeetingMode = false;
    std::optional<int> m_meetingModeCountdownRemainingSeconds;
    QList<MeetingMinuteBlock> m_meetingBlocks;
    QList<MeetingASRSegment> m_meetingRawSegments;

    // --- Session state ----------------------------------------------------------------
    // Declared in this order: the session holds the delivery and the
    // completion, the completion holds the delivery, and the retry holds
    // all three.
    std::unique_ptr<DictationDelivery> m_delivery;
    std::unique_ptr<DictationCompletion> m_completion;
    std::unique_ptr<DictationSession> m_session;
    std::unique_ptr<ArchivedRecordingRetry> m_retry;

    // --- Meeting state ----------------------------------------------------------------
    std::unique_ptr<MeetingMode> m_meeting;

    // --- Personal lexicon ------------------------------------------------------------
    std::unique_ptr<LexiconKeeper> m_lexicon;
    std::unique_ptr<EditLearning> m_editLearning;

    // --- Instruction library ---------------------------------------------------------
    std::unique_ptr<InstructionLibraryKeeper> m_instructionLibrary;

    // --- Shell -------------------------------------------------------------------------
    std::unique_ptr<AppToasts> m_appToasts;
    std::unique_ptr<SettingsWatch> m_settingsWatch;
};

} // namespace tovalit
