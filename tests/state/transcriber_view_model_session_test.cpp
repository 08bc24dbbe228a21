#include "tests/state/transcriber_view_model_lexicon_harness.h"
#include "tests/support/manual_sleeper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace tovalit {
namespace {

using namespace testing;

class SessionTest : public ViewModelTest {
protected:
    void SetUp() override {
        useGatewayForSpeechOnly();
        defaultTranscriberScript.finishText = QStringLiteral("好的");
    }
};

TEST_F(SessionTest, APressStopsARecordingOnlyFromThirtyFiveHundredthsOfASecondOn) {
    makeViewModel();
    press();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());

    time.advance(0.2);
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording()) << "0.2 s: too soon";
    time.advance(0.149);
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording()) << "0.349 s: too soon";
    time.advance(0.001);
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle()) << "0.35 s counts";
    EXPECT_EQ(viewModel->records().size(), 1);

    // From a failure a press starts afresh; the failure text goes.
    store->setVellupAppID(QString());
    gateway->defaultSpeech.reset();
    press();
    ASSERT_EQ(viewModel->recordingState().kind(), RecordingState::Case::failed);
    gateway->defaultSpeech = gatewaySpeech();
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
}

TEST_F(SessionTest, TheStopGuardIgnoresStepsOfTheWallClock) {
    makeViewModel();
    press();
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
    // The wall clock jumps forward an hour: a press 0.1 s in is still too
    // soon.
    time.stepWallClock(3600.0);
    time.advance(0.1);
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::recording());
    // Set back two hours: a press half a second in still stops.
    time.stepWallClock(-7200.0);
    time.advance(0.4);
    press();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
}

TEST_F(SessionTest, PressesWhileAStartOrAStopIsUnderWayDoNothing) {
    auto gate = std::make_shared<Gate>();
    defaultTranscriberScript.startGate = gate;
    makeViewModel();
    QCoro::Task<void> starting = viewModel->toggleRecording();
    settle();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::requestingPermission());
    press();
    EXPECT_EQ(transcribers.size(), 1u) << "a press during the start is ignored";
    gate->open();
    runTask(std::move(starting));
    ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());

    // Held in the formatter: the stop is thinking.
    formatterAnswers.gate = std::make_shared<Gate>();
    gateway->defaultFormatter = gatewayFormatter();
    time.advance(1.0);
    QCoro::Task<void> stopping = viewModel->toggleRecording();
    settle();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::thinking());
    press();
    panel->onCancel();
    panel->onFinish();
    settle();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::thinking());
    EXPECT_EQ(transcriber().finishCount.load(), 1);
    formatterAnswers.gate->open();
    runTask(std::move(stopping));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_EQ(viewModel->records().size(), 1) << "one stop, one record";
}

TEST_F(SessionTest, TheFinishButtonStopsLikeTheKeyAndTheCancelButtonLeavesNothing) {
    makeViewModel();
    startRecording();
    panel->onFinish();
    ASSERT_TRUE(waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
                          "the finish button to stop the recording"));
    EXPECT_EQ(viewModel->records().size(), 1);

    startRecording();
    const int startedFiles = recordingFiles().size();
    transcriber(1).speak(QStringLiteral("不要了"));
    settle();
    panel->onCancel();
    settle();
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("已取消本次录音"));
    EXPECT_EQ(viewModel->liveTranscript(), QString());
    EXPECT_EQ(viewModel->finalTranscript(), QString());
    EXPECT_EQ(viewModel->records().size(), 1) << "no record for a cancelled recording";
    EXPECT_EQ(recordingFiles().size(), startedFiles - 1) << "its file is deleted";
    EXPECT_GE(transcriber(1).cancelCount.load(), 1);
    EXPECT_EQ(transcriber(1).finishCount.load(), 0);
    EXPECT_FALSE(input->isRunning());
    EXPECT_EQ(panel->last(), QStringLiteral("hide"));
    EXPECT_FALSE(viewModel->appToast().has_value());

    // Cancelling when nothing records changes nothing.
    panel->onCancel();
    settle();
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("已取消本次录音"));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
}

TEST_F(SessionTest, AContextCapturedAfterItsSessionEndedIsDiscarded) {
    contextGate = std::make_shared<Gate>();
    makeViewModel();
    startRecording();
    EXPECT_EQ(contextCaptures, 1);
    panel->onCancel();
    settle();
    contextGate->open();
    settle();

    // The next dictation captures its own context rather than the stale one.
    contextGate.reset();
    providedContext = sampleContext(QStringLiteral("code"));
    gateway->defaultFormatter = gatewayFormatter();
    startRecording();
    stopRecording();
    ASSERT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(insertionCalls[0].context->naturalFormattingContext.appProfileID,
              QStringLiteral("code"));
}

TEST_F(SessionTest, AFnStopByKeyClosesTheEmojiPanelUnlessTheFnKeyDoesNothing) {
    makeViewModel();
    // The scripted system setting says the Fn key shows the emoji panel.
    startRecording();
    stopRecording();
    settle();
    EXPECT_GT(emojiPanelLooks, 0);
    EXPECT_EQ(functionKeyRunner->calls().size(), 1);

    // With "do nothing" there is nothing to close.
    emojiPanelLooks = 0;
    functionKeyRunner->enqueueSuccess("0\n");
    startRecording();
    stopRecording();
    settle();
    EXPECT_EQ(emojiPanelLooks, 0);

    // The finish button never closes anything, nor does a key combination.
    startRecording();
    panel->onFinish();
    ASSERT_TRUE(waitUntil([&] { return viewModel->recordingState() == RecordingState::idle(); },
                          "the finish button to stop"));
    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    startRecording();
    stopRecording();
    settle();
    EXPECT_EQ(emojiPanelLooks, 0);
    EXPECT_EQ(functionKeyRunner->calls().size(), 2) << "the setting is read for Fn key stops only";
}

TEST_F(SessionTest, StatusHintFollowsTheSessionAndTheShortcut) {
    makeViewModel();
    EXPECT_EQ(viewModel->shortcutDisplayName(), QStringLiteral("Fn"));
    EXPECT_EQ(viewModel->statusHint(), QStringLiteral("按 Fn 开始或停止录音"))
        << "the initial shortcut state is degraded, not failed";
    EXPECT_EQ(viewModel->shortcutActivationState(),
              ShortcutActivationState::degraded(QStringLiteral("正在检查快捷键和键盘读取")));

    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    EXPECT_EQ(viewModel->shortcutDisplayName(), QStringLiteral("Alt+Super+K"));
    startRecording();
    EXPECT_EQ(viewModel->statusHint(),
              QStringLiteral("再次按 Alt+Super+K 结束录音，随后会自动帮你把话说顺"));
}

TEST_F(SessionTest, BootstrappingWiresTheShortcutAndRestartsItWhenItsConditionsChange) {
    makeViewModel(true);
    // Started once with the stored shortcut; without input monitoring the
    // Fn key cannot work, and the idle status line says so.
    const QString needsInputMonitoring =
        QStringLiteral("Fn 需要读取键盘设备：请把当前用户加入 input 组（sudo usermod -aG input "
                       "$USER）并重新登录，或在设置里录制一个组合快捷键");
    EXPECT_EQ(viewModel->shortcutActivationState(),
              ShortcutActivationState::failed(needsInputMonitoring));
    EXPECT_EQ(viewModel->statusHint(), needsInputMonitoring);
    ASSERT_TRUE(
        waitUntil([&] { return viewModel->builtinInstructionLibraryEntries().size() == 14; },
                  "the instruction library to load"));

    QList<ShortcutActivationState> reported;
    QObject::connect(viewModel.get(), &TranscriberViewModel::shortcutActivationStateChanged,
                     viewModel.get(),
                     [&](const ShortcutActivationState &state) { reported.append(state); });
    store->setShortcutConfiguration(ShortcutConfiguration::functionKey());
    EXPECT_TRUE(reported.isEmpty()) << "an equal shortcut restarts nothing";

    permissions->setListenEventAccess(true);
    permissions->setTrusted(true);
    store->setCachedInputMonitoringPermission(PermissionAuthorizationState::granted);
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].kind != ShortcutActivationState::Case::failed);
    EXPECT_EQ(monitor->currentConfiguration(), ShortcutConfiguration::functionKey());
    store->setCachedInputMonitoringPermission(PermissionAuthorizationState::granted);
    store->setCachedMicrophonePermission(PermissionAuthorizationState::denied);
    EXPECT_EQ(reported.size(), 1) << "no change, no restart; the microphone is not watched";

    store->setShortcutConfiguration(ShortcutConfiguration::custom(
        40, ModifierFlag::option | ModifierFlag::command, QStringLiteral("K")));
    ASSERT_EQ(reported.size(), 2);
    EXPECT_EQ(reported[1],
              ShortcutActivationState::ready(QStringLiteral("Alt+Super+K 已注册为全局快捷键")));
    EXPECT_EQ(viewModel->statusHint(), QStringLiteral("按 Alt+Super+K 开始或停止录音"));
}

TEST_F(SessionTest, LoadsThatFailReportThemselvesAndTheNextLoadStillRuns) {
    QDir().mkpath(dataFolder());
    for (const char *name : {"personal-lexicon.json", "instruction-library.json"}) {
        QFile file(dataFolder() + u'/' + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{ broken");
    }
    // A failed record: the day's history batch learns nothing from it.
    runTask(history.append(TranscriptRecord{
        QUuid::createUuid(), time.now(), 1.0, QStringLiteral("旧记录"), std::nullopt, std::nullopt,
        std::nullopt, TranscriptRecordStatus::failed, std::nullopt}));
    makeViewModel(true);
    // The toast's timer starts on a later turn of the event loop than the
    // toast, and a history read that is done before it is awaited comes in
    // on the same turn as the toast.
    ASSERT_TRUE(
        waitUntil([&] { return viewModel->records().size() == 1 && toastSleeps.count() > 0; },
                  "the history, loaded last, and the toast's timer"));
    EXPECT_TRUE(viewModel->recentLexiconLearningMessage().value_or(QString()).startsWith(
        QStringLiteral("个人词库加载失败：")));
    EXPECT_TRUE(viewModel->personalLexiconEntries().isEmpty());
    ASSERT_TRUE(viewModel->appToast().has_value());
    EXPECT_TRUE(viewModel->appToast()->isError);
    EXPECT_TRUE(viewModel->appToast()->message.startsWith(QStringLiteral("指令库加载失败：")));
    EXPECT_DOUBLE_EQ(toastSleeps.at(0).seconds, 2.2);
    EXPECT_EQ(viewModel->builtinInstructionLibraryEntries().size(), 14)
        << "the built-ins still work";
}

TEST_F(SessionTest, AFormerDataFolderThatStayedWhereItWasIsToldOnceAtStartUp) {
    int asked = 0;
    adjustDependencies = [&asked](TranscriberViewModel::Dependencies &d) {
        d.takeDataFolderMoveNotice = [&asked]() -> std::optional<QString> {
            return ++asked == 1 ? std::optional(QStringLiteral("无法迁移旧的数据文件夹（原因）"))
                                : std::nullopt;
        };
    };
    makeViewModel(true);
    ASSERT_TRUE(waitUntil([&] { return viewModel->appToast().has_value(); }, "the notice"));
    EXPECT_EQ(viewModel->appToast()->message, QStringLiteral("无法迁移旧的数据文件夹（原因）"));
    EXPECT_TRUE(viewModel->appToast()->isError);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(logLines(QStringLiteral("data_folder.move")),
              QStringList{QStringLiteral("无法迁移旧的数据文件夹（原因）")});
}

// The notice must stay true: once the file reads again (the settings
// folder was reachable again at the next save) it no longer says that the
// defaults are in use.
TEST_F(SessionTest, SettingsThatCouldNotBeReadAtStartUpAreToldUntilTheyReadAgain) {
    const QString problem =
        QStringLiteral("/home/u/.config/Tovalit/Tovalit.ini: Permission denied");
    const auto start = [&] {
        viewModel.reset();
        defaults.failLoading(problem);
        makeStore(true);
        makeViewModel(true);
        viewModel->appToastSurfaceShown();
        return waitUntil([&] { return viewModel->appToast().has_value(); }, "the notice");
    };
    const auto readAgain = [&] {
        defaults.failLoading(std::nullopt);
        // The permission check on coming back to the window saves.
        store->setCachedMicrophonePermission(PermissionAuthorizationState::granted);
    };
    const auto shown = [&] { return viewModel->appToast().value_or(AppToastState{}); };

    ASSERT_TRUE(start());
    EXPECT_EQ(shown().message,
              QStringLiteral("无法读取设置文件（/home/u/.config/Tovalit/Tovalit.ini: Permission "
                             "denied），本次使用默认设置，原文件未改动。"));
    EXPECT_TRUE(shown().isError);
    settle();
    const std::size_t noticeTimer = toastSleeps.count() - 1;
    readAgain();
    EXPECT_EQ(shown().message, QStringLiteral("已重新读取设置")) << "in the notice's place";
    EXPECT_FALSE(shown().isError);
    settle();
    EXPECT_TRUE(toastSleeps.at(noticeTimer).token.isCancelled());
    EXPECT_DOUBLE_EQ(toastSleeps.at(toastSleeps.count() - 1).seconds, 5.0);

    // Read again only once the notice was gone: whoever read it learns
    // that it no longer holds.
    ASSERT_TRUE(start());
    settle();
    toastSleeps.wake(toastSleeps.count() - 1);
    ASSERT_TRUE(waitUntil([&] { return !viewModel->appToast(); }, "the notice's time to pass"));
    readAgain();
    EXPECT_EQ(shown().message, QStringLiteral("已重新读取设置"));
    EXPECT_FALSE(shown().isError);
}

// The config folder is full: the toggled setting holds for the run, and
// the user learns on the window that it was not saved, once, and that it
// was, once a save gets through.
TEST_F(SessionTest, ASettingThatCannotBeSavedIsToldOnTheWindowUntilASaveGetsThrough) {
    testing::ManualSleeper retries;
    store = std::make_unique<AppConfigurationStore>(defaults, AppConfigurationStore::Environment(),
                                                    nullptr, retries.sleeper());
    makeViewModel(true);
    viewModel->appToastSurfaceShown();
    settle();
    const auto shown = [&] { return viewModel->appToast().value_or(AppToastState{}); };

    defaults.failSynchronizing(QString::fromLocal8Bit(std::strerror(ENOSPC)));
    store->setKeepAudioFiles(false);
    for (std::size_t count = 1; count <= 5; ++count) {
        ASSERT_TRUE(waitUntil([&] { return retries.count() == count; }, "a retry"));
        EXPECT_FALSE(shown().message.startsWith(QStringLiteral("设置无法保存")))
            << "told before the retries are spent";
        retries.wakeLast();
    }
    ASSERT_TRUE(waitUntil(
        [&] { return shown().message.startsWith(QStringLiteral("设置无法保存：磁盘空间已满")); },
        "the notice"));
    EXPECT_TRUE(shown().isError);
    EXPECT_FALSE(store->keepAudioFiles()) << "the change holds for this run";

    defaults.failSynchronizing(std::nullopt);
    store->setMeetingModeEnabled(false);
    EXPECT_EQ(shown().message, QStringLiteral("设置已保存")) << "in the notice's place";
    EXPECT_FALSE(shown().isError);
    EXPECT_EQ(defaults.boolean(QStringLiteral("vellup_transcriber.keepAudioFiles")), false);
}

TEST_F(SessionTest, AControllerThatGoesWhileARecordingStartsLeavesTheStartToEndUnheard) {
    // The gateway's speech configuration comes after the application quit:
    // no recogniser is made for a controller that is gone.
    const std::shared_ptr<Gate> configuration = gateway->holdNextSpeech();
    makeViewModel();
    QCoro::Task<void> waitingForConfiguration = viewModel->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return gateway->speechRequests == 1; }, "the configuration"));
    viewModel.reset();
    configuration->open();
    settle();
    EXPECT_TRUE(transcribers.empty());

    // The live recogniser has started only after the quit: the microphone
    // stays closed.
    defaultTranscriberScript.startGate = std::make_shared<Gate>();
    makeViewModel();
    QCoro::Task<void> waitingForRecogniser = viewModel->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return transcribers.size() == 1u; }, "the recogniser's start"));
    viewModel.reset();
    defaultTranscriberScript.startGate->open();
    settle();
    EXPECT_EQ(input->startCount(), 0);
}

TEST_F(SessionTest, AControllerThatGoesWhileItsStartUpSyncIsOutSavesNothingAfterwards) {
    const auto gatewayOnHold = std::make_shared<HoldingGateway>(gateway);
    const std::shared_ptr<Gate> sync = gatewayOnHold->holdNextSync();
    adjustDependencies = [gatewayOnHold](TranscriberViewModel::Dependencies &d) {
        d.gatewaySessionService = gatewayOnHold;
    };
    // A first start sends its new namespace to the cloud once everything
    // has loaded.
    makeViewModel(true);
    ASSERT_TRUE(waitUntil([&] { return gatewayOnHold->heldSyncs == 1; }, "the start-up sync"));
    const QString lexicon = dataFolder() + QStringLiteral("/personal-lexicon.json");
    QFile file(lexicon);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    file.close();

    // The application quits; the answer comes afterwards and must not
    // reach the controller that is gone.
    viewModel.reset();
    sync->open();
    settle();
    settle();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), saved) << "the answer was saved for nobody";
}

} // namespace
} // namespace tovalit
