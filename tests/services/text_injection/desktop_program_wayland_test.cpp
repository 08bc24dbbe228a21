// Terminals and KDE's editor native in a Wayland session, as their users
// have them on KDE Plasma and on GNOME (scripts/test runs these in each
// desktop's session): no key sent through the X server reaches them, so
// Tovalit's keys go out on the keyboard the desktop lends (KDE's portal
// lends it at once, GNOME's asks the user, who agrees), and the user's own
// keys come from the compositor's keyboard. The user's clipboard is the
// session's own.

#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/in_memory_secret_store.h"
#include "platform/linux/linux_insertion_platform.h"
#include "platform/linux/linux_interaction_platform.h"
#include "platform/linux/xdg_remote_desktop_portal.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/app_configuration_store.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "tests/support/capture_log.h"
#include "tests/support/desktop_program.h"
#include "tests/support/qt_printers.h"
#include "tests/support/remote_desktop_consent.h"
#include "tests/support/run_task.h"
#include "tests/support/session_keyboard.h"
#include "tests/support/terminal_process.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/wayland_clipboard_client.h"
#include "tests/support/x_clipboard_client.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::runTask;
using testing::TerminalKind;
using testing::TerminalProcess;
using testing::waitUntil;
using Field = testing::FocusedFieldReader::Field;
using Service = FocusedInputInsertionService;

const QString usersOwnCopy = QStringLiteral("用户自己的");

class WaylandProgramTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                                        !qEnvironmentVariableIsEmpty("DISPLAY"),
                                    "needs the Wayland session of scripts/test");
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
        ASSERT_TRUE(interaction.displaySession.wayland);
        ASSERT_NO_FATAL_FAILURE(lendTheKeyboard());
        service = std::make_unique<Service>(
            interaction.accessibility, insertion.pasteboard, insertion.keySender, systemSleeper(),
            systemMonotonicClock(), interaction.displaySession, interaction.windowSystem,
            keyboardAccess, insertion.primarySelection);
        userKeys = testing::SessionKeyboard::open();
        ASSERT_TRUE(userKeys);
    }

    void TearDown() override {
        service.reset();
        if (keyboardAccess)
            keyboardAccess->abandon();
    }

    // Tovalit asks the desktop for its keyboard before the program starts,
    // as its first recording would; GNOME's window asks the user, who
    // agrees.
    void lendTheKeyboard() {
        keyboardAccess = std::make_shared<RemoteDesktopKeyboardAccess>(
            store, std::make_shared<XdgRemoteDesktopPortal>(), secrets);
        keyboardAccess->request();
        if (testing::onDesktop("GNOME")) {
            ASSERT_TRUE(testing::answerRemoteDesktopConsent(testing::RemoteDesktopAnswer::share));
        }
        ASSERT_TRUE(waitUntil(
            [&] { return keyboardAccess->state() == RemoteDesktopKeyboardAccess::State::granted; },
            "the desktop to lend its keyboard", 20s))
            << "the keyboard is " << int(keyboardAccess->state());
    }

    // The user copies in a native window: on KDE the session's clipboard
    // is read and set through data control, GNOME's compositor offers
    // none and carries the X server's clipboard across.
    void userCopies(const QString &text) {
        if (testing::onDesktop("KDE")) {
            waylandOwner = testing::WaylandClipboardClient::copy(text);
            ASSERT_TRUE(waylandOwner);
        } else {
            xOwner = testing::XClipboardClient::copy(text);
            ASSERT_TRUE(xOwner);
        }
    }
    static std::optional<QString> sessionClipboard() {
        return testing::onDesktop("KDE") ? testing::WaylandClipboardClient::paste(2s)
                                         : testing::XClipboardClient::paste();
    }
    // Otherwise what it holds, and the log of what became of it.
    ::testing::AssertionResult clipboardComesToHold(const QString &text,
                                                    const char *description) const {
        if (waitUntil([&] { return sessionClipboard() == text; }, description, 10s))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the clipboard holds "
               << sessionClipboard().value_or(QStringLiteral("<nothing>")).toStdString() << '\n'
               << logLines().join(u'\n').toStdString();
    }

    // The dictation as the application delivers it with the desktop's
    // keyboard lent: the text goes on the clipboard while the user's
    // shortcut is still being let go, then into the focused program.
    InsertionResult deliver(const QString &text, const ActiveInteractionContext &context) {
        std::unique_ptr<ClipboardHeadStart> headStart =
            runTask(service->startClipboardHeadStart(text));
        EXPECT_TRUE(headStart) << "no head start with the keyboard lent";
        return runTask(service->insert(text, context, {}, std::move(headStart)), 60s);
    }

    // Every key Tovalit pressed, as the log names them.
    QStringList keysSent() { return logLines(QStringLiteral("insert.keys")); }

    AppConfigurationStore::Environment environment;
    InMemoryDefaultsStore defaults;
    AppConfigurationStore store{defaults, environment};
    std::shared_ptr<InMemorySecretStore> secrets = std::make_shared<InMemorySecretStore>();
    std::shared_ptr<RemoteDesktopKeyboardAccess> keyboardAccess;
    InteractionPlatform interaction = makeLinuxInteractionPlatform();
    InsertionPlatform insertion = makeLinuxInsertionPlatform();
    testing::FocusedFieldReader fields{interaction.accessibility};
    std::unique_ptr<testing::SessionKeyboard> userKeys;
    std::unique_ptr<testing::WaylandClipboardClient> waylandOwner;
    std::unique_ptr<testing::XClipboardClient> xOwner;
    std::unique_ptr<Service> service;
};

// The terminal the desktop's users have: konsole on KDE, a VTE terminal
// (as GNOME Terminal) on GNOME; both native on Wayland.
class WaylandTerminalTest : public WaylandProgramTest {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_ENVIRONMENT(
            !QStandardPaths::findExecutable(testing::terminalProgram(kind)).isEmpty(),
            "the terminal is installed (scripts/install-deps)");
        WaylandProgramTest::SetUp();
    }

    // A bash prompt with a command half typed, on the screen as the
    // accessibility bus shows it.
    std::unique_ptr<TerminalProcess> promptWithHalfACommand() {
        auto terminal = TerminalProcess::start(kind, TerminalProcess::Window::nativeWayland);
        if (!terminal)
            return nullptr;
        const qint32 pid = terminal->processIdentifier();
        if (!waitUntil([&] { return terminal->prompted(); }, "bash's prompt", 30s) ||
            !showsCursorLine(pid, QStringLiteral("$"), "the terminal's screen to have the focus"))
            return nullptr;
        if (!userKeys->type(QStringLiteral("echo abc")) ||
            !showsCursorLine(pid, QStringLiteral("$ echo abc"),
                             "the half-typed command at the cursor"))
            return nullptr;
        return terminal;
    }

    // Whether the terminal's line up to its cursor, read as the
    // dictation's context, comes to be `line` (its blanks at either end
    // aside).
    bool showsCursorLine(qint32 pid, const QString &line, const char *description) {
        std::optional<QString> last;
        const bool seen = waitUntil(
            [&] {
                last = fields.capture(pid).surroundingTextBeforeCursor;
                return last && last->trimmed() == line;
            },
            description, 45s);
        if (!seen)
            ADD_FAILURE() << "the cursor's line: "
                          << last.value_or(QStringLiteral("<nil>")).toStdString();
        return seen;
    }

    // Return runs the line; the shell writes it to its history.
    QString lineRunOnReturn(TerminalProcess &terminal) {
        EXPECT_TRUE(userKeys->press({XK_Return}));
        waitUntil([&] { return !terminal.history().isEmpty(); }, "the line to run", 10s);
        return terminal.history();
    }

    // The one paste went out on the desktop's keyboard with the
    // terminal's own keys: never a bare Ctrl+V.
    void expectTheTerminalsPasteKeysAlone() {
        EXPECT_EQ(keysSent(), QStringList{QStringLiteral(
                                  "sent=true | keys=Ctrl+Shift+V | via=desktop-keyboard")})
            << logLines().join(u'\n').toStdString();
    }

    const TerminalKind kind =
        testing::onDesktop("KDE") ? TerminalKind::konsole : TerminalKind::xfce4Terminal;
};

TEST_F(WaylandTerminalTest, TheDictationLandsOnceAtTheShellsCursorAndTheClipboardComesBack) {
    auto terminal = promptWithHalfACommand();
    ASSERT_TRUE(terminal);
    ASSERT_NO_FATAL_FAILURE(userCopies(usersOwnCopy));

    const QString text = QStringLiteral("明天上午10点评审代码。");
    const InsertionResult result = deliver(text, terminal->context());
    EXPECT_EQ(result, InsertionResult::pastedFromClipboard)
        << logLines().join(u'\n').toStdString() << "\nthe screen now: "
        << fields.read(terminal->processIdentifier()).value.value_or("<none>").toStdString();
    EXPECT_EQ(logLines(QStringLiteral("insert.result")),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=terminal-screen")});
    expectTheTerminalsPasteKeysAlone();
    EXPECT_TRUE(clipboardComesToHold(usersOwnCopy, "the user's clipboard to come back"));
    EXPECT_TRUE(terminal->history().isEmpty()) << "nothing ran before Return";
    EXPECT_EQ(lineRunOnReturn(*terminal), QStringLiteral("echo abc") + text + u'\n');
}

TEST_F(WaylandTerminalTest, ADictationOfSeveralLinesRunsNothing) {
    auto terminal = promptWithHalfACommand();
    ASSERT_TRUE(terminal);
    ASSERT_NO_FATAL_FAILURE(userCopies(usersOwnCopy));

    const QString text = QStringLiteral("第一行\n第二行");
    const InsertionResult result = deliver(text, terminal->context());
    testing::processEventsFor(500ms);
    EXPECT_TRUE(terminal->history().isEmpty()) << terminal->history().toStdString();
    expectTheTerminalsPasteKeysAlone();
    if (kind == TerminalKind::xfce4Terminal) {
        // It asks the user before it pastes line breaks, in a window of
        // its own: no paste, and the text is left on the clipboard.
        EXPECT_EQ(result, InsertionResult::insertFailedCopiedToClipboard);
        EXPECT_TRUE(clipboardComesToHold(text, "the text to stay on the clipboard"));
        return;
    }
    EXPECT_EQ(result, InsertionResult::pastedFromClipboard) << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(clipboardComesToHold(usersOwnCopy, "the user's clipboard to come back"));
    EXPECT_EQ(lineRunOnReturn(*terminal), QStringLiteral("echo abc第一行\n第二行\n"));
}

// KDE's editor marks its status-bar buttons focused beside its text view.
class WaylandKdeEditorTest : public WaylandProgramTest {
protected:
    void SetUp() override {
        TOVALIT_ONLY_ON_DESKTOP("KDE", "KDE's own editor on KDE's desktop");
        TOVALIT_REQUIRE_ENVIRONMENT(
            !QStandardPaths::findExecutable(QStringLiteral("kwrite")).isEmpty(),
            "kwrite is installed (scripts/install-deps)");
        WaylandProgramTest::SetUp();
    }

    // The dictation goes in as the application sends it; it must land at
    // the caret, checked, with the user's clipboard given back. What the
    // editor shows is then waited for: right after a paste the editor's
    // window has been seen, on a loaded machine, without the keyboard
    // focus on the accessibility bus for a moment.
    void dictate(qint32 pid, const QString &text) {
        ASSERT_NO_FATAL_FAILURE(userCopies(usersOwnCopy));
        const qsizetype earlier = logLines(QStringLiteral("insert.result")).size();
        const InsertionResult result = deliver(text, testing::editorContext(pid));
        EXPECT_EQ(result, InsertionResult::pastedFromClipboard)
            << logLines().join(u'\n').toStdString();
        EXPECT_EQ(logLines(QStringLiteral("insert.result")).mid(earlier),
                  QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")});
        EXPECT_TRUE(clipboardComesToHold(usersOwnCopy, "the user's clipboard to come back"));
    }

    QString writeFile(const QString &name, const QString &text) {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8());
        return path;
    }

    QTemporaryDir folder;
};

TEST_F(WaylandKdeEditorTest, TakesDictationAtTheCaretOverASelectionAndWhenEmpty) {
    const QString path =
        writeFile(QStringLiteral("notes.txt"), QStringLiteral("第一行\n会议改到\n最后一行\n"));
    auto editor = testing::DesktopProgram::start(QStringLiteral("kwrite"), {path},
                                                 testing::DesktopProgram::Window::nativeWayland);
    ASSERT_TRUE(editor);
    const qint32 pid = editor->processIdentifier();
    ASSERT_TRUE(fields.waitFor(
        pid, [](const Field &field) { return field.value && field.value->contains("会议改到"); },
        "the editor's text view to have the focus"));
    ASSERT_TRUE(userKeys->press({XK_Control_L, XK_Home}));
    ASSERT_TRUE(userKeys->press({XK_Down}));
    ASSERT_TRUE(userKeys->press({XK_End}));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.selection == AccessibilityRange{8, 0};
        },
        "the caret to stand after the second line"));

    const FocusedElementContext context = fields.capture(pid);
    EXPECT_EQ(context.surroundingTextBeforeCursor, QStringLiteral("第一行\n会议改到"));
    EXPECT_EQ(context.surroundingTextAfterCursor, QStringLiteral("最后一行"));
    ASSERT_NO_FATAL_FAILURE(dictate(pid, QStringLiteral("明天上午")));
    EXPECT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.value == QStringLiteral("第一行\n会议改到明天上午\n最后一行\n");
        },
        "the editor to show the dictation"));

    // The last line selected is replaced.
    ASSERT_TRUE(userKeys->press({XK_Down}));
    ASSERT_TRUE(userKeys->press({XK_Home}));
    ASSERT_TRUE(userKeys->press({XK_Shift_L, XK_End}));
    ASSERT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.selection == AccessibilityRange{13, 4};
        },
        "the last line to be selected"));
    EXPECT_EQ(fields.capture(pid).selectedText, QStringLiteral("最后一行"));
    ASSERT_NO_FATAL_FAILURE(dictate(pid, QStringLiteral("散会")));
    EXPECT_TRUE(fields.waitFor(
        pid,
        [](const Field &field) {
            return field.value == QStringLiteral("第一行\n会议改到明天上午\n散会\n");
        },
        "the editor to show the dictation"));

    // An empty document.
    ASSERT_TRUE(userKeys->press({XK_Control_L, XK_a}));
    ASSERT_TRUE(userKeys->press({XK_Delete}));
    ASSERT_TRUE(fields.waitFor(
        pid, [](const Field &field) { return field.value == QString(); },
        "the document to be empty"));
    EXPECT_TRUE(fields.capture(pid).emptyField);
    ASSERT_NO_FATAL_FAILURE(dictate(pid, QStringLiteral("你好")));
    EXPECT_TRUE(fields.waitFor(
        pid, [](const Field &field) { return field.value == QStringLiteral("你好"); },
        "the editor to show the dictation"));
}

} // namespace
} // namespace tovalit
