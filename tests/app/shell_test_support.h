#pragma once

// The application's long-lived objects over in-memory platforms, for the
// tests of the shell and the window pages: a settings store on in-memory
// defaults, a real permission coordinator over a scripted probe, and a real
// controller whose recognition, capture, insertion and panels are the
// controller tests' doubles. Everything lives in the test's own user
// folders.

#include "platform/application_activity.h"
#include "platform/fake/fake_application_keyboard.h"
#include "platform/fake/fake_desktop_global_shortcuts.h"
#include "platform/fake/fake_desktop_keyboard_settings.h"
#include "platform/linux/defaults_command_stand_in.h"
#include "services/permissions/permission_coordinator.h"
#include "services/shortcuts/desktop_keybinding.h"
#include "tests/state/view_model_harness.h"
#include "views/client_window_view.h"

namespace tovalit::testing {

class ShellDoubles {
public:
    using Environment = AppConfigurationStore::Environment;

    // With a gateway address the controller takes its speech settings from
    // the scripted gateway session, so a recording can start.
    static Environment gatewayEnvironment() {
        return {{QStringLiteral("TOVALIT_GATEWAY_BASE_URL"), QStringLiteral("http://127.0.0.1:9")}};
    }

    // Data files (history, recordings, lexicon, instructions) go to
    // `dataFolder`.
    explicit ShellDoubles(QString dataFolder)
        : dataFolder(std::move(dataFolder))
        , history(this->dataFolder)
        , capture(std::make_shared<AudioCaptureService>(
              input, ffmpegAacFileWriterFactory(),
              [this] { return history.recordingsDirectoryNow(); }, [] { return 100.0; })) {
        gateway->defaultSpeech = gatewaySpeech();
        gateway->defaultFormatter = gatewayFormatter();
        probe->answerMicrophoneRequestsWith(true);
    }

    // Every permission granted, or the listed one missing.
    void grantEverything() {
        probe->setMicrophone(MicrophoneAuthorizationStatus::authorized);
        probe->setListenEventAccess(true);
        probe->setTrusted(true);
    }

    PermissionCoordinator::Dependencies
    permissionDependencies(ApplicationActivity *activity = nullptr) const {
        PermissionCoordinator::Dependencies d;
        d.probe = probe;
        d.settingsOpener = opener;
        d.activity = activity;
        d.bundlePath = bundlePath;
        return d;
    }

    ClientWindowView::Dependencies clientWindowDependencies() const {
        return {
            ShortcutSettingsView::Dependencies{keyboard, functionKeySystemSettings, keybinding}};
    }

    // A controller over `store` that starts and stops recordings with the
    // doubles below.
    std::unique_ptr<TranscriberViewModel> makeViewModel(AppConfigurationStore &store) {
        TranscriberViewModel::Dependencies d;
        d.shouldBootstrap = shouldBootstrap;
        d.currentDate = time.clock();
        d.systemDate = time.clock();
        d.uptime = time.monotonicClock();
        d.sleepForDuration = sessionSleeps.sleeper();
        d.toastSleeper = toastSleeps.sleeper();
        d.gatewaySessionService = gateway;
        d.lexiconEventLogger = std::make_shared<PersonalLexiconEventLogger>(dataFolder);
        d.structuredFormattingRunner = [this](QString, StructuredFormattingTask,
                                              VellupStructuredFormatterConfiguration) {
            return formatterAnswers.answer();
        };
        d.liveTranscriberFactory = [this](VellupSpeechConfiguration c,
                                          std::optional<VellupSpeechLexiconConfiguration> l)
            -> std::shared_ptr<LiveTranscriber> {
            auto transcriber = std::make_shared<FakeLiveTranscriber>(transcriberScript, c, l);
            transcribers.push_back(transcriber);
            return transcriber;
        };
        d.audioFileTranscriptionRunner = [this](QString, VellupSpeechConfiguration,
                                                std::optional<VellupSpeechLexiconConfiguration>) {
            return fileAnswers.answer();
        };
        d.insertionRunner = [](QString, std::optional<ActiveInteractionContext>,
                               ObservedInsertionEditCallback,
                               std::unique_ptr<ClipboardHeadStart>) { return inserted(); };
        d.interactionContextProvider = [] { return noContext(); };
        d.interactionContextActivator = [](std::optional<ActiveInteractionContext>) {
            return nothing();
        };
        d.audioCaptureService = capture;
        d.hotkeyMonitor = hotkeyMonitor();
        d.insertionService = insertionServiceOverFakes(pasteboard);
        d.interactionContextService = contextServiceOverFakes(windows);
        d.instructionLibraryStore = std::make_shared<InstructionLibraryStore>(dataFolder);
        d.functionKeySystemSettings = functionKeySystemSettings;
        d.emojiPanelDismissalService = std::make_shared<EmojiPanelDismissalService>(
            windows, std::make_shared<FakeEscapeKeySender>(),
            [](double, CancelToken) { return nothing(); });
        d.pasteboard = pasteboard;
        d.fileViewer = std::make_shared<RecordingFileViewer>();
        d.historyStore = &history;
        ++viewModelsBuilt;
        return std::make_unique<TranscriberViewModel>(
            store, panel, std::make_shared<PersonalLexiconStore>(dataFolder), std::move(d));
    }

    std::shared_ptr<HotkeyMonitor> hotkeyMonitor() {
        HotkeyMonitor::Dependencies d;
        d.globalHotKey = globalHotKey;
        d.makeFunctionKeySource = [] { return std::make_shared<FakeFunctionKeySource>(); };
        d.permissions = probe;
        d.functionKeySystemSettings = functionKeySystemSettings;
        d.makeDelayScheduler = [] { return std::make_shared<ManualDelayScheduler>(); };
        d.uptime = time.monotonicClock();
        d.sleeper = [](double, CancelToken) { return nothing(); };
        d.desktopShortcuts = desktopShortcuts;
        d.isWaylandSession = isWaylandSession;
        d.recordingActionCommand = QStringLiteral("tovalit --action toggle-recording");
        d.desktopKeybinding = keybinding;
        d.keyboardSettings = keyboardSettings;
        return std::make_shared<HotkeyMonitor>(std::move(d));
    }

    // Starts a recording on `viewModel` and lets its start settle.
    void startRecording(TranscriberViewModel &viewModel) {
        runTask(viewModel.toggleRecording());
        processEventsFor(std::chrono::milliseconds(20));
    }
    // Stops it, far enough after the start for the stop to count.
    void stopRecording(TranscriberViewModel &viewModel) {
        time.advance(2.0);
        runTask(viewModel.toggleRecording());
    }

    const QString dataFolder;
    HistoryStore history;
    std::shared_ptr<FakeAudioInput> input =
        std::make_shared<FakeAudioInput>(PcmFormat{16000, 1, PcmSampleType::Int16, true});
    std::shared_ptr<AudioCaptureService> capture;
    QString bundlePath = QStringLiteral("/opt/tovalit/bin/tovalit");
    std::shared_ptr<InMemoryDefaultsStore> defaults = std::make_shared<InMemoryDefaultsStore>();
    std::shared_ptr<FakePermissionProbe> probe = std::make_shared<FakePermissionProbe>();
    std::shared_ptr<FakeSystemSettingsOpener> opener = std::make_shared<FakeSystemSettingsOpener>();
    std::shared_ptr<FakeApplicationKeyboard> keyboard = std::make_shared<FakeApplicationKeyboard>();
    // The system's Fn setting as Linux keeps it: in our own settings,
    // "do nothing" until something else is written.
    std::shared_ptr<InMemoryDefaultsStore> functionKeyDefaults =
        std::make_shared<InMemoryDefaultsStore>();
    std::shared_ptr<FakeSystemSettingsOpener> keyboardSettingsOpener =
        std::make_shared<FakeSystemSettingsOpener>();
    std::shared_ptr<FunctionKeySystemSettings> functionKeySystemSettings =
        std::make_shared<FunctionKeySystemSettings>(
            std::make_shared<DefaultsCommandStandIn>(functionKeyDefaults), keyboardSettingsOpener);

    ManualTime time;
    ManualSleeps sessionSleeps;
    ManualSleeps toastSleeps;
    std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
    std::shared_ptr<RecordingPanel> panel = std::make_shared<RecordingPanel>(events);
    std::shared_ptr<ScriptedGatewaySession> gateway = std::make_shared<ScriptedGatewaySession>();
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<InMemoryPasteboard> pasteboard = std::make_shared<InMemoryPasteboard>();
    FakeLiveTranscriber::Script transcriberScript;
    std::vector<std::shared_ptr<FakeLiveTranscriber>> transcribers;
    ScriptedTexts formatterAnswers;
    ScriptedTexts fileAnswers;
    std::shared_ptr<FakeGlobalHotKey> globalHotKey = std::make_shared<FakeGlobalHotKey>();
    // In a Wayland session the desktop holds the combination.
    bool isWaylandSession = false;
    std::shared_ptr<FakeDesktopGlobalShortcuts> desktopShortcuts =
        std::make_shared<FakeDesktopGlobalShortcuts>();
    // The desktop's keyboard settings, which a custom shortcut of ours can
    // hold only where a test sets `keybinding` (as GNOME's do).
    std::shared_ptr<FakeDesktopKeyboardSettings> keyboardSettings =
        std::make_shared<FakeDesktopKeyboardSettings>();
    std::shared_ptr<DesktopKeybinding> keybinding;
    // With bootstrapping the controller follows the hotkey monitor's
    // activation state (and loads its data files).
    bool shouldBootstrap = false;
    int viewModelsBuilt = 0;

private:
    static QCoro::Task<void> nothing() { co_return; }
    static QCoro::Task<InsertionResult> inserted() {
        co_return InsertionResult::pastedFromClipboard;
    }
    static QCoro::Task<std::optional<ActiveInteractionContext>> noContext() {
        co_return std::nullopt;
    }
};

} // namespace tovalit::testing
