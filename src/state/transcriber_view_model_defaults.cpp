// How the controller is put together: its concern objects, with what the
// application hands in, or else what the controller makes and binds itself
// (the desktop services and the default bindings of the injected
// operations).

#include "platform/linux/freedesktop_file_viewer.h"
#include "platform/linux/linux_insertion_platform.h"
#include "platform/linux/linux_interaction_platform.h"
#include "services/context/active_interaction_context_service.h"
#include "services/context/screen_text_capture.h"
#include "services/gateway/gateway_session_service.h"
#include "services/history/history_store.h"
#include "services/security/keychain_store.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/shortcuts/emoji_panel_dismissal_service.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "services/speech/vellup_audio_file_transcriber.h"
#include "services/speech/vellup_streaming_transcriber.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "state/history/history_keeper.h"
#include "state/instructions/instruction_library_keeper.h"
#include "state/meeting/meeting_mode.h"
#include "state/shell/app_toasts.h"
#include "state/shell/settings_watch.h"
#include "state/transcriber_view_model.h"
#include "support/data_folder.h"

#include <QPointer>

namespace tovalit {

namespace {

const QString gatewayKeychainService = QStringLiteral("cn.pellastrim.tovalit.gateway");

// The service objects travel with their tasks: each default keeps what it
// calls alive until the call has finished.
QCoro::Task<QString> transcribeFile(VellupAudioFileTranscriber transcriber, QString audioFile) {
    co_return co_await transcriber.transcribe(std::move(audioFile));
}

QCoro::Task<InsertionResult> insertWith(std::shared_ptr<FocusedInputInsertionService> service,
                                        QString text,
                                        std::optional<ActiveInteractionContext> context,
                                        ObservedInsertionEditCallback onObservedEditEvent,
                                        std::unique_ptr<ClipboardHeadStart> headStart) {
    co_return co_await service->insert(std::move(text), std::move(context),
                                       std::move(onObservedEditEvent), std::move(headStart));
}

QCoro::Task<std::unique_ptr<ClipboardHeadStart>>
headStartWith(std::shared_ptr<FocusedInputInsertionService> service, QString text) {
    co_return co_await service->startClipboardHeadStart(std::move(text));
}

QCoro::Task<std::optional<ActiveInteractionContext>>
captureWith(std::shared_ptr<ActiveInteractionContextService> service) {
    co_return co_await service->captureCurrentContext();
}

QCoro::Task<void> activateWith(std::shared_ptr<ActiveInteractionContextService> service,
                               std::optional<ActiveInteractionContext> context) {
    co_await service->activate(std::move(context));
}

} // namespace

void TranscriberViewModel::compose(Dependencies d,
                                   std::shared_ptr<PersonalLexiconStore> personalLexiconStore) {
    const Clock currentDate = std::move(d.currentDate);
    const Sleeper sleepForDuration = std::move(d.sleepForDuration);
    const Clock systemDate = std::move(d.systemDate);
    AppToastsHost &toastsHost = *this;
    m_appToasts = std::make_unique<AppToasts>(toastsHost, std::move(d.toastSleeper));
    m_settingsWatch = std::make_unique<SettingsWatch>(m_configurationStore);
    m_takeDataFolderMoveNotice =
        d.takeDataFolderMoveNotice
            ? std::move(d.takeDataFolderMoveNotice)
            : std::function<std::optional<QString>()>(&DataFolder::takeMoveNotice);

    std::shared_ptr<AudioCaptureService> audioCaptureService =
        d.audioCaptureService ? std::move(d.audioCaptureService)
                              : std::make_shared<AudioCaptureService>();
    m_hotkeyMonitor =
        d.hotkeyMonitor ? std::move(d.hotkeyMonitor) : std::make_shared<HotkeyMonitor>();

    // The insertion and context services exist whether or not their
    // operations are injected; the desktop platforms are made only when
    // one of them is missing.
    std::optional<InteractionPlatform> interaction;
    if (!d.insertionService || !d.interactionContextService)
        interaction = makeLinuxInteractionPlatform();
    std::optional<InsertionPlatform> insertion;
    if (!d.insertionService || !d.pasteboard)
        insertion = makeLinuxInsertionPlatform();
    std::shared_ptr<RemoteDesktopKeyboardAccess> remoteDesktopKeyboard =
        std::move(d.remoteDesktopKeyboard);
    std::shared_ptr<FocusedInputInsertionService> insertionService =
        d.insertionService
            ? std::move(d.insertionService)
            : std::make_shared<FocusedInputInsertionService>(
                  interaction->accessibility, insertion->pasteboard, insertion->keySender,
                  systemSleeper(), systemMonotonicClock(), interaction->displaySession,
                  interaction->windowSystem, remoteDesktopKeyboard, insertion->primarySelection);
    std::shared_ptr<ActiveInteractionContextService> interactionContextService =
        d.interactionContextService
            ? std::move(d.interactionContextService)
            : std::make_shared<ActiveInteractionContextService>(
                  interaction->accessibility, interaction->windowSystem,
                  std::make_shared<ScreenTextCapture>(
                      interaction->windowSystem, interaction->screenCapture,
                      interaction->textRecognizer, interaction->displaySession),
                  systemSleeper(), interaction->displaySession);
    if (interaction)
        m_desktopKeepAlive = interaction->accessibilityThread;
    std::shared_ptr<Pasteboard> pasteboard =
        d.pasteboard ? std::move(d.pasteboard) : insertion->pasteboard;
    std::shared_ptr<FunctionKeySystemSettings> functionKeySystemSettings =
        d.functionKeySystemSettings ? std::move(d.functionKeySystemSettings)
                                    : std::make_shared<FunctionKeySystemSettings>();
    std::shared_ptr<EmojiPanelDismissalService> emojiPanelDismissalService =
        d.emojiPanelDismissalService ? std::move(d.emojiPanelDismissalService)
                                     : std::make_shared<EmojiPanelDismissalService>();

    std::shared_ptr<GatewaySessionProviding> gatewaySessionService =
        d.gatewaySessionService ? std::move(d.gatewaySessionService)
                                : std::make_shared<GatewaySessionService>(
                                      m_configurationStore, KeychainStore(gatewayKeychainService));
    m_gatewayRecovery =
        std::make_unique<GatewaySessionRecovery>(m_configurationStore, gatewaySessionService);
    // Without a keyring on this desktop the sign-in lasts until the
    // application quits; the user learns that once, when it happens.
    QPointer<TranscriberViewModel> self(this);
    gatewaySessionService->setOnSessionKeptInMemory([self] {
        if (!self)
            return;
        const QString notice =
            QStringLiteral("没有找到桌面密钥环（Secret Service），登录状态只保留到退出 "
                           "Tovalit，下次启动会重新登录。");
        TovalitDebugLogger::log(QStringLiteral("gateway.keyring"), notice);
        self->showAppNotice(notice);
    });

    const StructuredFormattingRunner structuredFormattingRunner =
        d.structuredFormattingRunner
            ? std::move(d.structuredFormattingRunner)
            : [](QString text, StructuredFormattingTask task,
                 VellupStructuredFormatterConfiguration configuration) {
                  // The formatter's task does not refer to the formatter.
                  return VellupStructuredFormatter(std::move(configuration))
                      .format(std::move(text), std::move(task));
              };
    LiveTranscriberFactory liveTranscriberFactory =
        d.liveTranscriberFactory ? std::move(d.liveTranscriberFactory)
                                 : [](VellupSpeechConfiguration configuration,
                                      std::optional<VellupSpeechLexiconConfiguration> lexicon)
        -> std::shared_ptr<LiveTranscriber> {
        return std::make_shared<VellupStreamingTranscriber>(std::move(configuration),
                                                            std::move(lexicon));
    };
    AudioFileTranscriptionRunner audioFileTranscriptionRunner =
        d.audioFileTranscriptionRunner
            ? std::move(d.audioFileTranscriptionRunner)
            : [](QString audioFile, VellupSpeechConfiguration configuration,
                 std::optional<VellupSpeechLexiconConfiguration> lexicon) {
                  // One network session for every client of this thread.
                  return transcribeFile(
                      VellupAudioFileTranscriber(std::move(configuration), std::move(lexicon),
                                                 VellupStructuredFormatter::liveTransport()),
                      std::move(audioFile));
              };
    // A runner of the caller's own gets no head start: the clipboard is
    // the real service's to fill ahead.
    DictationDelivery::ClipboardHeadStarter clipboardHeadStarter;
    if (!d.insertionRunner)
        clipboardHeadStarter = [service = insertionService](QString text) {
            return headStartWith(service, std::move(text));
        };
    InsertionRunner insertionRunner =
        d.insertionRunner
            ? std::move(d.insertionRunner)
            : [service = insertionService](QString text,
                                           std::optional<ActiveInteractionContext> context,
                                           ObservedInsertionEditCallback onObservedEditEvent,
                                           std::unique_ptr<ClipboardHeadStart> headStart) {
                  return insertWith(service, std::move(text), std::move(context),
                                    std::move(onObservedEditEvent), std::move(headStart));
              };
    InteractionContextProvider interactionContextProvider =
        d.interactionContextProvider
            ? std::move(d.interactionContextProvider)
            : [service = interactionContextService] { return captureWith(service); };
    InteractionContextActivator interactionContextActivator =
        d.interactionContextActivator ? std::move(d.interactionContextActivator)
                                      : [service = interactionContextService](
                                            std::optional<ActiveInteractionContext> context) {
                                            return activateWith(service, std::move(context));
                                        };

    DictationDeliveryHost &deliveryHost = *this;
    DictationSessionHost &sessionHost = *this;
    m_delivery = std::make_unique<DictationDelivery>(
        deliveryHost, m_configurationStore, *m_gatewayRecovery, m_floatingPanelCoordinator,
        DictationDelivery::Collaborators{
            structuredFormattingRunner, std::move(insertionRunner), std::move(clipboardHeadStarter),
            interactionContextProvider, std::move(interactionContextActivator),
            std::move(pasteboard), m_hotkeyMonitor, systemDate});
    m_completion = std::make_unique<DictationCompletion>(
        sessionHost, *m_gatewayRecovery, m_floatingPanelCoordinator, *m_delivery,
        std::move(audioFileTranscriptionRunner), systemDate);
    m_session = std::make_unique<DictationSession>(
        sessionHost, m_configurationStore, *m_gatewayRecovery, m_floatingPanelCoordinator,
        *m_delivery, *m_completion,
        DictationSession::Collaborators{
            std::move(audioCaptureService), std::move(liveTranscriberFactory),
            std::move(interactionContextProvider), std::move(emojiPanelDismissalService),
            std::move(functionKeySystemSettings), std::move(remoteDesktopKeyboard), currentDate,
            sleepForDuration, std::move(d.uptime)});
    ArchivedRecordingRetryHost &retryHost = *this;
    m_retry = std::make_unique<ArchivedRecordingRetry>(
        sessionHost, retryHost, *m_session, *m_completion, *m_delivery, *m_gatewayRecovery,
        m_floatingPanelCoordinator);

    InstructionLibraryKeeperHost &instructionLibraryHost = *this;
    m_instructionLibrary = std::make_unique<InstructionLibraryKeeper>(
        instructionLibraryHost, std::move(d.instructionLibraryStore), *m_gatewayRecovery,
        m_floatingPanelCoordinator, currentDate, sleepForDuration);
    MeetingModeHost &meetingHost = *this;
    m_meeting = std::make_unique<MeetingMode>(
        meetingHost, m_configurationStore, *m_gatewayRecovery, m_floatingPanelCoordinator,
        structuredFormattingRunner, d.meetingModeTimings, currentDate, sleepForDuration);
    HistoryHost &historyHost = *this;
    m_history = std::make_unique<HistoryKeeper>(
        historyHost, m_configurationStore,
        d.historyStore ? *d.historyStore : HistoryStore::shared(),
        d.fileViewer ? std::move(d.fileViewer) : std::make_shared<FreedesktopFileViewer>(),
        systemDate);
    LexiconHost &lexiconHost = *this;
    m_lexicon = std::make_unique<LexiconKeeper>(
        lexiconHost, m_configurationStore, *m_gatewayRecovery, gatewaySessionService,
        m_floatingPanelCoordinator, std::move(personalLexiconStore),
        std::move(d.lexiconEventLogger), currentDate, systemDate);
    EditLearningHost &editLearningHost = *this;
    m_editLearning = std::make_unique<EditLearning>(
        editLearningHost, *m_gatewayRecovery, m_floatingPanelCoordinator,
        std::move(d.lexiconLearningAnalysisRunner), currentDate, systemDate, sleepForDuration);
}

} // namespace tovalit
