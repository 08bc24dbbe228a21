// Whole dictations in a Wayland session, as a user of KDE Plasma or GNOME
// on Wayland has them (scripts/test runs them in each desktop's session):
// Tovalit's windows go through XWayland, a native Wayland editor has the
// focus, the recording shortcut reaches Tovalit through the desktop (the
// recording action of its desktop entry, or the desktop portal's global
// shortcuts) and the text goes into the editor over the accessibility bus.
// The gateway is a stand-in on loopback; for the portal's signal, so is
// the portal, on a bus of its own.

#include "app/legacy_menu_bar_controller.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/vellup_transcriber_app.h"
#include "platform/linux/xdg_global_shortcuts_portal.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "state/app_launch_coordinator.h"
#include "state/transcriber_view_model.h"
#include "tests/support/application_process.h"
#include "tests/support/capture_log.h"
#include "tests/support/desktop_dictation.h"
#include "tests/support/firefox_page.h"
#include "tests/support/global_shortcuts_portal_stand_in.h"
#include "tests/support/private_session_bus.h"
#include "tests/support/qt_printers.h"
#include "tests/support/remote_desktop_consent.h"
#include "tests/support/run_task.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/x_clipboard_client.h"
#include "tests/support/xdotool.h"
#include "views/client_window_section.h"
#include "views/client_window_view.h"
#include "views/design/tovalit_badge.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::RemoteDesktopAnswer;
using testing::TestEditorProcess;
using testing::waitUntil;
using KeyboardState = RemoteDesktopKeyboardAccess::State;

const QString formattedText = testing::GatewayStandIn::formattedText();

class WaylandDictationTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                                        !qEnvironmentVariableIsEmpty("DISPLAY"),
                                    "needs the Wayland session of scripts/test");
        ASSERT_NO_FATAL_FAILURE(dictation.requireDesktop());
    }

    void TearDown() override {
        testing::DesktopDictation::quit(app);
        if (HasFailure())
            std::fprintf(stderr, "diagnostics log:\n%s\n", qPrintable(logLines().join(u'\n')));
        if (gtk4Editor) {
            gtk4Editor->terminate();
            gtk4Editor->waitForFinished(5000);
        }
    }

    // Tovalit as it starts in the session, with `shortcut` recorded,
    // answering the desktop's requests; the user goes past the onboarding
    // (nothing here may read the keyboards under /dev/input).
    void launch(VellupTranscriberApp::Dependencies dependencies,
                std::optional<ShortcutConfiguration> shortcut = std::nullopt) {
        ASSERT_NO_FATAL_FAILURE(dictation.prepareSpeech());
        dependencies.menuBar = &menuBar;
        app = std::make_unique<VellupTranscriberApp>(std::move(dependencies));
        if (shortcut)
            app->configurationStore().setShortcutConfiguration(*shortcut);
        app->launch();
        ASSERT_TRUE(instance.claim());
        app->serve(instance);
        ASSERT_NO_FATAL_FAILURE(testing::DesktopDictation::goPastOnboarding(*app));
        ASSERT_NO_FATAL_FAILURE(dictation.waitForStartUpSynchronisation());
    }

    // A native Wayland editor, which the X server never sees, takes the
    // focus from Tovalit's window, its field showing `text`.
    void startNativeEditor(TestEditorProcess::Field field, const QString &text) {
        const testing::ScopedEnvironmentVariable backend("GDK_BACKEND", QByteArray("wayland"));
        editor = TestEditorProcess::start(TestEditorProcess::Toolkit::Gtk,
                                          QStringLiteral("会议记录"), text, 0, -1, field);
        ASSERT_TRUE(editor);
        editorPid = editor->processIdentifier();
        ASSERT_TRUE(testing::xdotool({QStringLiteral("search"), QStringLiteral("--pid"),
                                      QString::number(editorPid)})
                        .isEmpty())
            << "the editor is an XWayland window";
    }
    void focusNativeEditor(TestEditorProcess::Field field, const QString &text = {}) {
        ASSERT_NO_FATAL_FAILURE(startNativeEditor(field, text));
        ASSERT_TRUE(waitUntil([&] { return dictation.editorText(editorPid) == text; },
                              "the editor's field on the accessibility bus", 10s));
        // Qt lets its window go only a moment after the focus left it; a
        // user's press comes later than that.
        ASSERT_TRUE(waitUntil([&] { return dictation.focusedProcess() == editorPid; },
                              "the desktop's focus to be the editor's alone", 10s));
    }

    // GNOME's own editor (GTK 4, its field deep in the window's tree),
    // native on Wayland, showing a file that holds `text`; the user clicks
    // at its end.
    void focusGtk4EditorAtTheEndOf(const QString &text) {
        ASSERT_TRUE(scratch.isValid());
        QFile note(scratch.filePath(QStringLiteral("周报.txt")));
        ASSERT_TRUE(note.open(QIODevice::WriteOnly));
        note.write(text.toUtf8());
        note.close();
        gtk4Editor = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
        gtk4Editor->setProcessEnvironment(environment);
        gtk4Editor->setProcessChannelMode(QProcess::ForwardedChannels);
        gtk4Editor->start(QStringLiteral("gnome-text-editor"),
                          {QStringLiteral("--standalone"), note.fileName()});
        ASSERT_TRUE(gtk4Editor->waitForStarted(5000));
        editorPid = qint32(gtk4Editor->processId());
        std::optional<QString> shown;
        ASSERT_TRUE(waitUntil(
            [&] {
                shown = dictation.editorText(editorPid);
                return shown == text;
            },
            "GNOME's editor showing the file on the accessibility bus", 20s))
            << "it shows: " << shown.value_or(QStringLiteral("<nothing>")).toStdString();
        ASSERT_TRUE(waitUntil([&] { return dictation.focusedProcess() == editorPid; },
                              "the desktop's focus to be GNOME's editor's", 10s));
        ASSERT_TRUE(dictation.placeCaret(editorPid, text.size()));
    }

    // Firefox native on Wayland shows a page whose empty text area has the
    // focus.
    void focusFirefoxTextArea() {
        QString failure;
        firefox = testing::FirefoxPage::start(testing::FirefoxPage::Backend::wayland, &failure);
        ASSERT_TRUE(firefox) << failure.toStdString();
        editorPid = firefox->processIdentifier();
        std::optional<qint32> focused;
        std::optional<QString> shown;
        ASSERT_TRUE(waitUntil(
            [&] {
                focused = dictation.focusedProcess();
                shown = focused == editorPid ? dictation.editorText(editorPid) : std::nullopt;
                return focused == editorPid && shown == QString();
            },
            "the text area in Firefox to have the focus", 60s))
            << "focus in process " << focused.value_or(0) << " (Firefox is " << editorPid
            << "), its text " << shown.value_or(QStringLiteral("<none>")).toStdString() << "\n"
            << firefox->output().toStdString();
        ASSERT_TRUE(testing::xdotool({QStringLiteral("search"), QStringLiteral("--pid"),
                                      QString::number(editorPid)})
                        .isEmpty())
            << "Firefox is an XWayland window";
    }

    // What the language model was told of the place the text goes to.
    QJsonObject formattingContext() const {
        const std::vector<QJsonObject> requests = gateway.formattingRequests();
        EXPECT_EQ(requests.size(), 1u) << gateway.calls();
        for (const QJsonValue message :
             requests.empty() ? QJsonArray() : requests[0][u"messages"].toArray()) {
            if (message[u"role"].toString() == u"user")
                return QJsonDocument::fromJson(message[u"content"].toString().toUtf8()).object();
        }
        return {};
    }

    // What a launcher or dock does with the desktop entry's recording
    // action, or what a shortcut the user bound to its command runs.
    void runRecordingAction() {
        const testing::ApplicationLaunch launch = testing::launchApplication(
            {QStringLiteral("--action"), QStringLiteral("toggle-recording")});
        ASSERT_TRUE(launch.ended);
        ASSERT_EQ(launch.exitCode, 0) << launch.errors.toStdString();
    }

    void waitForRecordingState(const RecordingState &state, const char *description) {
        ASSERT_TRUE(
            waitUntil([&] { return app->viewModel().recordingState() == state; }, description, 15s))
            << gateway.calls();
    }

    // Once a recording has read the focused field, Tovalit asks the
    // desktop to lend it a keyboard for the paste: GNOME asks the user in a
    // window of its own, which the user answers; KDE's portal lends one at
    // once. The desktop's answer is the permission's state.
    void answerTheDesktop(RemoteDesktopAnswer answer) {
        if (testing::onDesktop("GNOME")) {
            ASSERT_TRUE(testing::answerRemoteDesktopConsent(answer));
        }
        const KeyboardState answered =
            answer == RemoteDesktopAnswer::share ? KeyboardState::granted : KeyboardState::refused;
        const std::shared_ptr<RemoteDesktopKeyboardAccess> keyboard =
            app->permissionCoordinator().remoteDesktopKeyboard();
        ASSERT_TRUE(keyboard);
        ASSERT_TRUE(waitUntil([&] { return keyboard->state() == answered; },
                              "the desktop's answer to lending its keyboard", 10s))
            << "the keyboard is " << int(keyboard->state());
    }

    // A recording started by `toggle` hears the speech, and the same
    // toggle ends it; the dictation is then processed to its end. The
    // first recording of a run asks the desktop for its keyboard, and the
    // user gives `answer`.
    template <typename Toggle>
    void dictate(Toggle toggle,
                 std::optional<RemoteDesktopAnswer> answer = RemoteDesktopAnswer::share) {
        ASSERT_NO_FATAL_FAILURE(toggle());
        ASSERT_NO_FATAL_FAILURE(
            waitForRecordingState(RecordingState::recording(), "a recording to start"));
        if (answer) {
            ASSERT_NO_FATAL_FAILURE(answerTheDesktop(*answer));
        }
        ASSERT_TRUE(gateway.recogniser.isConnected());
        ASSERT_NO_FATAL_FAILURE(dictation.saySpeech());
        ASSERT_NO_FATAL_FAILURE(toggle());
        ASSERT_NO_FATAL_FAILURE(
            waitForRecordingState(RecordingState::idle(), "the dictation to finish"));
    }

    // Ctrl+V went out on the keyboard the desktop lent, and the field
    // read back showed the paste (at once, or a moment later).
    void expectPastedOnTheDesktopsKeyboard() {
        EXPECT_TRUE(logLines(QStringLiteral("insert.paste"))
                        .contains(QStringLiteral("desktop-keyboard | asked-now=false")));
        const QStringList results = logLines(QStringLiteral("insert.result"));
        EXPECT_TRUE(results.size() == 1 &&
                    results[0].startsWith(QStringLiteral("result=pastedFromClipboard |")))
            << results.join(u'\n').toStdString();
    }

    void expectTidiedTextInTheEditor() {
        EXPECT_TRUE(dictation.editorComesToShow(editorPid, formattedText))
            << "\nactive X window: "
            << testing::xdotool(
                   {QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")})
                   .toStdString()
            << "\nhistory: " << dictation.history();
    }

    testing::DesktopDictation dictation{folders.dataFolder()};
    testing::GatewayStandIn &gateway = dictation.gateway;
    std::unique_ptr<TestEditorProcess> editor;
    QTemporaryDir scratch;
    std::unique_ptr<QProcess> gtk4Editor;
    std::unique_ptr<testing::FirefoxPage> firefox;
    qint32 editorPid = 0;
    LegacyMenuBarController menuBar;
    std::unique_ptr<VellupTranscriberApp> app;
    SingleInstance instance;
};

TEST_F(WaylandDictationTest, TheDesktopEntrysRecordingActionDictatesIntoANativeWaylandEditor) {
    ASSERT_NO_FATAL_FAILURE(launch(dictation.dependencies(folders.configHome())));
    ASSERT_NO_FATAL_FAILURE(focusNativeEditor(TestEditorProcess::Field::editable));

    ASSERT_NO_FATAL_FAILURE(dictate([&] { runRecordingAction(); }));
    expectTidiedTextInTheEditor();
    dictation.expectOneRecord(QStringLiteral("completed"), QStringLiteral("已插入"));
    expectPastedOnTheDesktopsKeyboard();
    EXPECT_EQ(app->viewModel().finalTranscript(), formattedText);
}

TEST_F(WaylandDictationTest, TheDesktopPortalsShortcutDictatesIntoANativeWaylandEditor) {
    testing::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning());
    testing::GlobalShortcutsPortalStandIn portal(bus.connect());
    ASSERT_TRUE(portal.start());
    // The desktop binds other keys than the ones asked for.
    portal.bindAs(QStringLiteral("Meta+Shift+D"));

    // Tovalit's own portal client talks to the stand-in.
    VellupTranscriberApp::Dependencies dependencies = dictation.dependencies(folders.configHome());
    dependencies.makeViewModel = [connection = bus.connect()](
                                     AppConfigurationStore &store,
                                     std::shared_ptr<RemoteDesktopKeyboardAccess> keyboard) {
        HotkeyMonitor::Dependencies hotkeys = HotkeyMonitor::Dependencies::linuxDefaults();
        EXPECT_TRUE(hotkeys.isWaylandSession);
        hotkeys.desktopShortcuts = std::make_shared<XdgGlobalShortcutsPortal>(connection);
        return VellupTranscriberApp::buildViewModel(store, std::move(keyboard), std::move(hotkeys));
    };
    ASSERT_NO_FATAL_FAILURE(
        launch(std::move(dependencies),
               ShortcutConfiguration::custom(40, ModifierFlag::control | ModifierFlag::option,
                                             QStringLiteral("K"))));
    TranscriberViewModel &controller = app->viewModel();
    ASSERT_TRUE(waitUntil(
        [&] {
            return controller.shortcutRoute() ==
                   ShortcutRoute::of(ShortcutRoute::Way::desktopPortal,
                                     QStringLiteral("Meta+Shift+D"));
        },
        "the desktop to report the keys it bound", 10s))
        << portal.calls().join(u',').toStdString();
    EXPECT_TRUE(
        portal.calls().contains(QStringLiteral("BindShortcuts toggle-recording CTRL+ALT+k")))
        << portal.calls().join(u',').toStdString();
    EXPECT_EQ(controller.shortcutActivationState(), ShortcutActivationState::ready(QStringLiteral(
                                                        "Meta+Shift+D 已由桌面注册为全局快捷键")));
    ASSERT_EQ(portal.openSessions().size(), 1);
    const QString session = portal.openSessions().value(0);

    ASSERT_NO_FATAL_FAILURE(focusNativeEditor(TestEditorProcess::Field::editable));
    // The desktop saw its keys pressed and released, with the editor in front.
    ASSERT_NO_FATAL_FAILURE(dictate([&] {
        portal.activate(session, HotkeyMonitor::desktopShortcutId);
        portal.deactivate(session, HotkeyMonitor::desktopShortcutId);
    }));
    expectTidiedTextInTheEditor();
    dictation.expectOneRecord(QStringLiteral("completed"), QStringLiteral("已插入"));
    expectPastedOnTheDesktopsKeyboard();
}

TEST_F(WaylandDictationTest, TheTextBeforeTheCaretInAGtk4EditorIsTheDictationsContext) {
    TOVALIT_REQUIRE_ENVIRONMENT(testing::hasTool(QStringLiteral("gnome-text-editor")),
                                "gnome-text-editor is needed");
    ASSERT_NO_FATAL_FAILURE(launch(dictation.dependencies(folders.configHome())));
    const QString before = QStringLiteral("周报草稿：");
    ASSERT_NO_FATAL_FAILURE(focusGtk4EditorAtTheEndOf(before));

    ASSERT_NO_FATAL_FAILURE(dictate([&] { runRecordingAction(); }));
    EXPECT_TRUE(dictation.editorComesToShow(editorPid, before + formattedText))
        << "\nhistory: " << dictation.history();
    dictation.expectOneRecord(QStringLiteral("completed"), QStringLiteral("已插入"));
    expectPastedOnTheDesktopsKeyboard();
    const QJsonObject context = formattingContext();
    EXPECT_EQ(context[u"surrounding_text_before_cursor"].toString(), before)
        << QJsonDocument(context).toJson().toStdString();
}

TEST_F(WaylandDictationTest, ANativeFieldThatTakesNoTextLeavesItOnTheDesktopsClipboard) {
    ASSERT_NO_FATAL_FAILURE(launch(dictation.dependencies(folders.configHome())));
    const QString shown = QStringLiteral("只读的会议纪要");
    ASSERT_NO_FATAL_FAILURE(focusNativeEditor(TestEditorProcess::Field::readOnly, shown));

    ASSERT_NO_FATAL_FAILURE(dictate([&] { runRecordingAction(); }));
    // Nothing went in, and nothing claims it did.
    EXPECT_EQ(dictation.editorText(editorPid), shown);
    dictation.expectOneRecord(QStringLiteral("warning"),
                              QStringLiteral("插入失败，已复制到剪贴板"));

    // The user pastes it into a native window of their choice.
    editor.reset();
    ASSERT_NO_FATAL_FAILURE(startNativeEditor(TestEditorProcess::Field::pastedClipboard, {}));
    expectTidiedTextInTheEditor();
}

// Firefox native on Wayland, the browser GNOME starts by default: its text
// areas take no direct write, so the text goes in only as a paste, on the
// keyboard GNOME lends once the user agrees. At first the user says no,
// and finds the text on the clipboard and the permission refused; then
// asks again from the settings, agrees, and dictates into the text area.
TEST_F(WaylandDictationTest, AFirefoxTextAreaTakesTheTextOnceTheUserLendsTheKeyboard) {
    TOVALIT_ONLY_ON_DESKTOP("GNOME", "the user answers GNOME's own window");
    TOVALIT_REQUIRE_ENVIRONMENT(testing::hasTool(testing::FirefoxPage::program()),
                                "firefox-esr is needed");
    ASSERT_NO_FATAL_FAILURE(launch(dictation.dependencies(folders.configHome())));
    ASSERT_NO_FATAL_FAILURE(focusFirefoxTextArea());

    ASSERT_NO_FATAL_FAILURE(dictate([&] { runRecordingAction(); }, RemoteDesktopAnswer::refuse));
    EXPECT_EQ(dictation.editorText(editorPid), QString());
    dictation.expectOneRecord(QStringLiteral("warning"),
                              QStringLiteral("插入失败，已复制到剪贴板"));
    EXPECT_EQ(testing::XClipboardClient::paste(), formattedText);
    auto *client = app->mainWindow()->findChild<ClientWindowView *>();
    ASSERT_NE(client, nullptr);
    client->setSelection(ClientWindowSection::settings);
    auto *badge = client->findChild<TovalitBadge *>(QStringLiteral("remoteDesktopKeyboardBadge"));
    ASSERT_NE(badge, nullptr);
    EXPECT_EQ(badge->title(), QStringLiteral("已拒绝"));

    auto *askAgain =
        client->findChild<QPushButton *>(QStringLiteral("requestRemoteDesktopKeyboardButton"));
    ASSERT_NE(askAgain, nullptr);
    EXPECT_EQ(askAgain->text(), QStringLiteral("重新请求"));
    askAgain->click();
    ASSERT_NO_FATAL_FAILURE(answerTheDesktop(RemoteDesktopAnswer::share));
    ASSERT_NO_FATAL_FAILURE(dictate([&] { runRecordingAction(); }, std::nullopt));
    EXPECT_TRUE(dictation.editorComesToShow(editorPid, formattedText))
        << "\nhistory: " << dictation.history();
    const QJsonArray records = dictation.records();
    ASSERT_EQ(records.size(), 2) << dictation.history();
    EXPECT_EQ(records[0][u"status"].toString(), QStringLiteral("completed"));
    EXPECT_EQ(records[0][u"note"].toString(), QStringLiteral("已插入"));
    EXPECT_TRUE(logLines(QStringLiteral("insert.paste"))
                    .contains(QStringLiteral("desktop-keyboard | asked-now=false")));
}

} // namespace
} // namespace tovalit
