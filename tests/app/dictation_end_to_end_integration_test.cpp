// One whole dictation through the application as it runs on a desktop: the
// real controller and its services, the session's microphone fed with
// spoken words, the desktop's keychain and accessibility bus, and an editor
// in front. Only the gateway is a stand-in (tests/support), on loopback.

#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/vellup_transcriber_app.h"
#include "state/app_launch_coordinator.h"
#include "state/transcriber_view_model.h"
#include "tests/support/capture_log.h"
#include "tests/support/desktop_dictation.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/xdotool.h"
#include "views/client_window_toast_view.h"
#include "views/client_window_view.h"
#include "views/design/tovalit_text_label.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::ClientFrame;
using testing::TestEditorProcess;
using testing::waitUntil;

const QString heardText = testing::GatewayStandIn::heardText();
const QString formattedText = testing::GatewayStandIn::formattedText();

QString activeWindowName() {
    return testing::xdotool({QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")});
}

class DictationEndToEndTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        ASSERT_NO_FATAL_FAILURE(dictation.requireDesktop());
    }

    void TearDown() override { testing::DesktopDictation::quit(app); }

    // What the user would look at when the text is not where it belongs.
    std::string diagnostics() const {
        return "\nactive window: " + activeWindowName().toStdString() +
               "\nhistory: " + dictation.history();
    }

    // The application as it starts on this desktop, and an editor in front
    // of it with an empty field; the speech to say is ready.
    void launchWithEditorInFront() {
        ASSERT_NO_FATAL_FAILURE(dictation.prepareSpeech());
        VellupTranscriberApp::Dependencies dependencies =
            dictation.dependencies(folders.configHome());
        dependencies.menuBar = &menuBar;
        app = std::make_unique<VellupTranscriberApp>(std::move(dependencies));
        app->launch();

        ASSERT_NO_FATAL_FAILURE(testing::DesktopDictation::goPastOnboarding(*app));
        // The main window comes up in front; the editor then takes its
        // place, as the application the user dictates into.
        ASSERT_TRUE(waitUntil([&] { return activeWindowName() == u"Tovalit"; },
                              "the main window to be active", 10s));
        QAction &toggle = *menuBar.toggleRecordingItem();
        ASSERT_TRUE(toggle.isEnabled());
        ASSERT_EQ(toggle.text(), QStringLiteral("开始录音"));

        editor = TestEditorProcess::start(TestEditorProcess::Toolkit::Qt,
                                          QStringLiteral("会议记录"), QString(), 0);
        ASSERT_TRUE(editor);
        editorPid = editor->processIdentifier();
        // The window manager keeps a new window behind the one in use; the
        // user brings the editor forward.
        quint64 editorWindow = 0;
        ASSERT_TRUE(waitUntil(
            [&] {
                editorWindow =
                    testing::xdotool({QStringLiteral("search"), QStringLiteral("--pid"),
                                      QString::number(editorPid), QStringLiteral("--name"),
                                      QStringLiteral("^会议记录$")})
                        .split(QLatin1Char('\n'))
                        .value(0)
                        .toULongLong();
                return editorWindow != 0;
            },
            "the editor's window"));
        testing::xdotool({QStringLiteral("windowactivate"), QString::number(editorWindow)});
        ASSERT_TRUE(waitUntil([&] { return activeWindowName() == u"会议记录"; },
                              "the editor to be the active window"));
        ASSERT_TRUE(waitUntil([&] { return dictation.editorText(editorPid) == QString(); },
                              "the editor's empty field on the accessibility bus", 10s));
        ASSERT_NO_FATAL_FAILURE(dictation.waitForStartUpSynchronisation());
    }

    // The tray menu's item starts a recording, and later stops it; the
    // dictation then ends with the tidied text in the editor.
    void startFromTheMenu() {
        menuBar.toggleRecordingItem()->trigger();
        ASSERT_TRUE(waitUntil(
            [&] { return app->viewModel().recordingState() == RecordingState::recording(); },
            "the menu to start a recording", 10s))
            << gateway.calls();
    }
    void stopFromTheMenuAndFindTheTidiedTextInTheEditor() {
        menuBar.toggleRecordingItem()->trigger();
        // The stop waits for the editor's window to be read, which ends in
        // text recognition: seconds on a loaded machine.
        ASSERT_TRUE(
            waitUntil([&] { return app->viewModel().recordingState() == RecordingState::idle(); },
                      "the dictation to finish", 30s))
            << gateway.calls() << logLines().join(QLatin1Char('\n')).toStdString();
        ASSERT_TRUE(dictation.editorComesToShow(editorPid, formattedText)) << diagnostics();
    }

    testing::DesktopDictation dictation{folders.dataFolder()};
    testing::GatewayStandIn &gateway = dictation.gateway;
    std::unique_ptr<TestEditorProcess> editor;
    qint32 editorPid = 0;
    LegacyMenuBarController menuBar;
    std::unique_ptr<VellupTranscriberApp> app;
};

TEST_F(DictationEndToEndTest, SpokenWordsFromTheTrayMenuLandFormattedInTheEditorAndTheHistory) {
    ASSERT_NO_FATAL_FAILURE(launchWithEditorInFront());
    TranscriberViewModel &controller = app->viewModel();
    QAction &toggle = *menuBar.toggleRecordingItem();

    ASSERT_NO_FATAL_FAILURE(startFromTheMenu());
    EXPECT_EQ(toggle.text(), QStringLiteral("停止录音"));
    ASSERT_TRUE(gateway.recogniser.isConnected());
    const int framesAtStart = int(gateway.recogniser.binaryMessages().size());

    ASSERT_NO_FATAL_FAILURE(dictation.saySpeech());
    ASSERT_TRUE(waitUntil([&] { return controller.liveTranscript() == u"今天下午三点"; },
                          "the partial results to reach the controller", 5s))
        << controller.liveTranscript().toStdString();
    EXPECT_GT(gateway.recogniser.binaryMessages().size(), size_t(framesAtStart));

    // What the user sees: the tidied sentence where the caret was.
    ASSERT_NO_FATAL_FAILURE(stopFromTheMenuAndFindTheTidiedTextInTheEditor());
    EXPECT_EQ(toggle.text(), QStringLiteral("开始录音"));
    EXPECT_EQ(controller.finalTranscript(), formattedText);

    // One record in the history file, with the heard text kept beside the
    // tidied one and the recording beside it.
    const QJsonObject record =
        dictation.expectOneRecord(QStringLiteral("completed"), QStringLiteral("已插入"));
    EXPECT_GT(record[u"duration"].toDouble(), 1.0);
    const QString audioFileName = record[u"audioFileName"].toString();
    ASSERT_FALSE(audioFileName.isEmpty());
    const QFileInfo recording(
        QDir(folders.dataFolder()).filePath(QStringLiteral("recordings/") + audioFileName));
    EXPECT_EQ(recording.suffix(), QStringLiteral("m4a"));
    ASSERT_TRUE(recording.exists()) << recording.filePath().toStdString();
    EXPECT_GT(recording.size(), 8000) << "more than a second of speech";
    const testing::DecodedAudio archived = testing::decodeAudioFile(recording.filePath());
    EXPECT_NEAR(archived.seconds(), record[u"duration"].toDouble(), 0.25);
    EXPECT_GT(archived.voicedSeconds(), 1.0) << "the spoken words are in the recording";

    // The gateway: registered once, one streaming session whose audio
    // frames came in order and ended with the closing frame, and one
    // formatting call with the heard text.
    EXPECT_EQ(gateway.callsTo("/api/client/register"), 1) << gateway.calls();
    EXPECT_EQ(gateway.callsTo("/api/client/refresh"), 0) << gateway.calls();
    ASSERT_EQ(gateway.recogniser.handshakes().size(), 1u);
    EXPECT_EQ(gateway.recogniser.handshakes()[0].target, "/ws/asr");
    EXPECT_EQ(gateway.recogniser.handshakes()[0].header("Authorization"), "Bearer access-1");

    const std::vector<ClientFrame> frames = gateway.frames();
    ASSERT_GE(frames.size(), 20u) << "the opening request, two seconds of audio and the close";
    EXPECT_EQ(frames.front().messageType, 1);
    EXPECT_EQ(frames.front().sequence, 1);
    QByteArray streamed;
    for (size_t i = 1; i + 1 < frames.size(); ++i) {
        EXPECT_EQ(frames[i].messageType, 2) << i;
        EXPECT_EQ(frames[i].flags, 0x1) << i;
        EXPECT_EQ(frames[i].sequence, qint32(i + 1)) << "frame " << i << " out of order";
        streamed += frames[i].body().value_or(QByteArray());
    }
    EXPECT_EQ(frames.back().flags, 0x3) << "the stream ends with the closing frame";
    EXPECT_EQ(frames.back().sequence, -qint32(frames.size()));
    EXPECT_GT(testing::GatewayStandIn::loudestWindow(streamed), 0.05)
        << "the spoken words reached the recogniser";

    const std::vector<QJsonObject> formatting = gateway.formattingRequests();
    ASSERT_EQ(formatting.size(), 1u) << gateway.calls();
    const QJsonArray messages = formatting[0][u"messages"].toArray();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const QJsonValue &message) {
        return message[u"role"].toString() == u"user" &&
               message[u"content"].toString().contains(heardText);
    })) << QJsonDocument(messages).toJson().toStdString();
}

TEST_F(DictationEndToEndTest, WordsSwallowedByABrokenStreamStillReachTheEditorAndTheHistory) {
    // The stream breaks while the speech is under way, taking the words it
    // had not answered yet; its replacement hears only what follows.
    gateway.breakTheFirstStreamAfterItsFirstWords();
    ASSERT_NO_FATAL_FAILURE(launchWithEditorInFront());
    TranscriberViewModel &controller = app->viewModel();

    ASSERT_NO_FATAL_FAILURE(startFromTheMenu());
    ASSERT_NO_FATAL_FAILURE(dictation.saySpeech());
    const QString brokenLiveText = testing::GatewayStandIn::wordsBeforeTheBreak() +
                                   QStringLiteral("\n") +
                                   testing::GatewayStandIn::wordsAfterTheBreak();
    // Each step of the recovery is waited for as it happens: the first
    // words, the break, the replacement stream, and its words in the
    // controller. A loaded machine takes longer over each; the limits only
    // catch a step that never comes, as long as the stop's own.
    ASSERT_TRUE(waitUntil(
        [&] {
            return controller.liveTranscript() == testing::GatewayStandIn::wordsBeforeTheBreak();
        },
        "the first stream's words", 30s))
        << controller.liveTranscript().toStdString() << "\n"
        << gateway.calls();
    gateway.letTheFirstStreamBreak();
    ASSERT_TRUE(waitUntil([&] { return gateway.recogniser.connectionCount() >= 2; },
                          "the replacement stream to connect", 30s))
        << controller.liveTranscript().toStdString() << "\n"
        << gateway.calls();
    ASSERT_TRUE(waitUntil([&] { return controller.liveTranscript() == brokenLiveText; },
                          "the replacement stream's words to follow the first ones", 30s))
        << controller.liveTranscript().toStdString() << "\n"
        << gateway.calls();
    ASSERT_EQ(gateway.recogniser.connectionCount(), 2) << "one replacement stream";
    EXPECT_EQ(controller.recordingState(), RecordingState::recording())
        << "the break never stopped the recording";

    // Every word that was said: the whole recording was recognised again,
    // and its text tidied and delivered.
    ASSERT_NO_FATAL_FAILURE(stopFromTheMenuAndFindTheTidiedTextInTheEditor());
    dictation.expectOneRecord(
        QStringLiteral("completed"),
        QStringLiteral("当前使用Vellup流式 ASR 2.0（已恢复）；实时流式结果不稳定，"
                       "已自动改用Vellup录音 ASR 结果；已插入"));

    // The recording sent for recognition holds the speech; the replacement
    // came up with the session the device already had.
    const std::vector<QJsonObject> files = gateway.fileRecognitionRequests();
    ASSERT_EQ(files.size(), 1u) << gateway.calls();
    const QByteArray recorded =
        QByteArray::fromBase64(files[0][u"audioBase64"].toString().toLatin1());
    EXPECT_GT(recorded.size(), 16000 * 2) << "more than a second of audio";
    EXPECT_GT(testing::GatewayStandIn::loudestWindow(recorded), 0.05);
    EXPECT_EQ(gateway.callsTo("/api/client/register"), 1) << gateway.calls();
    ASSERT_EQ(gateway.recogniser.handshakes().size(), 2u);
    EXPECT_EQ(gateway.recogniser.handshakes()[1].header("Authorization"), "Bearer access-1");
}

TEST_F(DictationEndToEndTest, ADamagedHistoryIsSetAsideTheUserToldAndTheDictationRecorded) {
    // history.json cut off half-way, as a copy that stopped leaves it.
    const QDir data(folders.dataFolder());
    ASSERT_TRUE(data.mkpath(QStringLiteral(".")));
    const QByteArray damaged = "[\n    {\n        \"createdAt\": \"2026-03-0";
    QFile historyFile(data.filePath(QStringLiteral("history.json")));
    ASSERT_TRUE(historyFile.open(QIODevice::WriteOnly));
    historyFile.write(damaged);
    historyFile.close();
    // Every toast the window shows, read off the window whenever events run.
    QStringList shownToasts;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ClientWindowView *client =
            app && app->mainWindow() ? app->mainWindow()->findChild<ClientWindowView *>() : nullptr;
        ClientWindowToastView *toast = client ? client->toastView() : nullptr;
        if (toast && toast->isVisible() && !shownToasts.contains(toast->messageLabel()->text()))
            shownToasts << toast->messageLabel()->text();
    });
    watch.start(20);

    ASSERT_NO_FATAL_FAILURE(launchWithEditorInFront());
    ASSERT_NO_FATAL_FAILURE(startFromTheMenu());
    ASSERT_NO_FATAL_FAILURE(dictation.saySpeech());
    ASSERT_NO_FATAL_FAILURE(stopFromTheMenuAndFindTheTidiedTextInTheEditor());

    dictation.expectOneRecord(QStringLiteral("completed"), QStringLiteral("已插入"));
    const QStringList aside = data.entryList({QStringLiteral("history.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1) << data.entryList().join(u' ').toStdString();
    QFile kept(data.filePath(aside[0]));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), damaged);
    EXPECT_TRUE(shownToasts.contains(
        QStringLiteral("历史记录文件无法解析，已从转写文件重建；原文件另存为：") + aside[0]))
        << shownToasts.join(u'\n').toStdString();
}

} // namespace
} // namespace tovalit
