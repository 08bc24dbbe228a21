#include "platform/accessibility_thread.h"
#include "platform/linux/atspi_accessibility_client.h"
#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/xtest_key_sender.h"
#include "services/context/focused_element_reader.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "tests/support/capture_log.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/terminal_process.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/x_clipboard_client.h"
#include "tests/support/xdotool.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::runTask;
using testing::TerminalKind;
using testing::TerminalProcess;
using testing::waitUntil;
using testing::xdotool;
using Service = FocusedInputInsertionService;

QString readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What a paste from the selection gets now (xclip in a process of its
// own; our own events run meanwhile, since we may be the owner).
std::optional<QString> selectionText(const QString &selection) {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-selection"), selection, QStringLiteral("-o")});
    if (!waitUntil([&] { return xclip.state() == QProcess::NotRunning; }, "xclip to read"))
        return std::nullopt;
    if (xclip.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(xclip.readAllStandardOutput());
}

class TerminalDesktopTest : public testing::WithDiagnosticsLog,
                            public ::testing::WithParamInterface<TerminalKind> {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        TOVALIT_REQUIRE_ENVIRONMENT(
            !QStandardPaths::findExecutable(testing::terminalProgram(GetParam())).isEmpty(),
            "the terminal is installed (scripts/install-deps)");
        ASSERT_TRUE(testing::setDesktopAccessibilityEnabled(true));
        service = std::make_unique<Service>(client, clipboard, XTestKeySender::open(),
                                            systemSleeper(), systemMonotonicClock(),
                                            DisplaySession{}, nullptr, nullptr, primary);
    }

    void TearDown() override { service.reset(); }

    // A bash prompt with a command half typed.
    std::unique_ptr<TerminalProcess> promptWithHalfACommand() {
        auto terminal = TerminalProcess::start(GetParam());
        if (!terminal)
            return nullptr;
        if (!waitUntil([&] { return terminal->prompted(); }, "bash's prompt",
                       std::chrono::seconds(15)))
            return nullptr;
        // bash asks for its prompt before readline takes the keys: a key
        // sent before the prompt shows is echoed onto the screen as typed.
        if (!showsCursorLine(*terminal, QStringLiteral("$")))
            return nullptr;
        xdotool({QStringLiteral("key"), QStringLiteral("F12")});
        return terminal;
    }

    static QString halfCommand() { return TerminalProcess::halfCommand; }

    FocusedElementContext capture(qint32 pid) {
        return runTask(thread->run([client = client, pid] {
            client->isProcessTrusted();
            return FocusedElementReader::captureFocusedElementContext(*client, pid);
        }));
    }

    // Whether the line up to the terminal's cursor, read as the
    // dictation's context, comes to be `line` (blanks folded as the context
    // folds them). xterm shows nothing: true at once.
    bool showsCursorLine(const TerminalProcess &terminal, const QString &line) {
        if (GetParam() == TerminalKind::xterm)
            return true;
        std::optional<QString> last;
        const bool seen = waitUntil(
            [&] {
                last = capture(terminal.processIdentifier()).surroundingTextBeforeCursor;
                return last == line;
            },
            "the cursor's line as the context", std::chrono::seconds(20));
        if (!seen)
            ADD_FAILURE() << "context: " << last.value_or(QStringLiteral("<nil>")).toStdString();
        return seen;
    }

    // Return runs the line; the shell writes it to its history.
    QString lineRunOnReturn(TerminalProcess &terminal) {
        xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        waitUntil([&] { return !terminal.history().isEmpty(); }, "the line to run",
                  std::chrono::seconds(10));
        return terminal.history();
    }

    std::shared_ptr<AccessibilityThread> thread = std::make_shared<AccessibilityThread>();
    std::shared_ptr<AtspiAccessibilityClient> client =
        std::make_shared<AtspiAccessibilityClient>(thread);
    std::shared_ptr<QtClipboardPasteboard> clipboard = std::make_shared<QtClipboardPasteboard>();
    std::shared_ptr<QtClipboardPasteboard> primary = std::make_shared<QtClipboardPasteboard>(
        ClipboardReadLimits{}, QtClipboardPasteboard::Selection::primary);
    std::unique_ptr<Service> service;
};

TEST_P(TerminalDesktopTest, TheDictationLandsOnceAtTheShellsCursorAndTheSelectionsComeBack) {
    auto terminal = promptWithHalfACommand();
    ASSERT_TRUE(terminal);
    auto owner = testing::XClipboardClient::copy(QStringLiteral("用户自己的"));
    ASSERT_TRUE(owner);
    // And a selection of the user's, which xterm pastes from.
    QProcess selectionOwner;
    selectionOwner.start(
        QStringLiteral("xclip"),
        {QStringLiteral("-selection"), QStringLiteral("primary"), QStringLiteral("-quiet")});
    ASSERT_TRUE(selectionOwner.waitForStarted(5000));
    selectionOwner.write("选中的");
    selectionOwner.closeWriteChannel();
    ASSERT_TRUE(waitUntil([] { return selectionText(QStringLiteral("primary")) == "选中的"; },
                          "the user's selection"));

    EXPECT_TRUE(showsCursorLine(*terminal, QStringLiteral("$ ") + halfCommand().trimmed()));

    const QString text = QStringLiteral("明天上午10点评审代码。");
    const InsertionResult result = runTask(service->insert(text, terminal->context(), {}));
    // The screen of xterm cannot be read: its asking for the text is what
    // shows the paste.
    EXPECT_EQ(result, GetParam() == TerminalKind::xterm ? InsertionResult::pastedNeedsAttention
                                                        : InsertionResult::pastedFromClipboard)
        << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(waitUntil([] { return selectionText(QStringLiteral("clipboard")) == "用户自己的"; },
                          "the user's clipboard to come back"))
        << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(waitUntil([] { return selectionText(QStringLiteral("primary")) == "选中的"; },
                          "the user's selection to come back"));
    EXPECT_TRUE(terminal->history().isEmpty()) << "nothing ran before Return";
    EXPECT_EQ(lineRunOnReturn(*terminal), halfCommand() + text + u'\n');
}

TEST_P(TerminalDesktopTest, ADictationOfSeveralLinesRunsNothing) {
    auto terminal = promptWithHalfACommand();
    ASSERT_TRUE(terminal);
    auto owner = testing::XClipboardClient::copy(QStringLiteral("用户自己的"));
    ASSERT_TRUE(owner);

    const QString text = QStringLiteral("第一行\n第二行");
    const InsertionResult result = runTask(service->insert(text, terminal->context(), {}));
    testing::processEventsFor(std::chrono::milliseconds(500));
    EXPECT_TRUE(terminal->history().isEmpty()) << terminal->history().toStdString();
    if (GetParam() == TerminalKind::xfce4Terminal) {
        // It asks the user before it pastes line breaks, in a window of
        // its own: no paste, and the text is left on the clipboard.
        EXPECT_EQ(result, InsertionResult::insertFailedCopiedToClipboard);
        EXPECT_EQ(selectionText(QStringLiteral("clipboard")), text);
        return;
    }
    EXPECT_NE(result, InsertionResult::insertFailedCopiedToClipboard)
        << logLines().join(u'\n').toStdString();
    EXPECT_EQ(lineRunOnReturn(*terminal), halfCommand() + QStringLiteral("第一行\n第二行\n"));
}

TEST_P(TerminalDesktopTest, VimInInsertModeTakesTheDictationAfterWideCharacters) {
    auto owner = testing::XClipboardClient::copy(QStringLiteral("用户自己的"));
    ASSERT_TRUE(owner);
    QTemporaryDir folder;
    const QString file = folder.path() + QStringLiteral("/notes.txt");
    const QString inserting = folder.path() + QStringLiteral("/inserting");
    QFile notes(file);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write(QStringLiteral("已有文字\n").toUtf8());
    notes.close();
    // In insert mode at the end of the line from the start, its ruler on as
    // a user's vim has it; it says when it is in insert mode.
    auto terminal = TerminalProcess::start(
        GetParam(), TerminalProcess::Window::x11,
        {QStringLiteral("vim"), QStringLiteral("-u"), QStringLiteral("NONE"), QStringLiteral("-N"),
         QStringLiteral("-i"), QStringLiteral("NONE"), QStringLiteral("-n"), QStringLiteral("-c"),
         QStringLiteral("set ruler"), QStringLiteral("-c"),
         QStringLiteral("autocmd InsertEnter * call writefile([], '%1')").arg(inserting),
         QStringLiteral("-c"), QStringLiteral("startinsert!"), file});
    ASSERT_TRUE(terminal);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(inserting); }, "vim's insert mode",
                          std::chrono::seconds(20)));
    EXPECT_TRUE(showsCursorLine(*terminal, QStringLiteral("已有文字")));

    const QString text = QStringLiteral("今天下午3点开会。");
    const InsertionResult result = runTask(service->insert(text, terminal->context(), {}));
    EXPECT_EQ(result, GetParam() == TerminalKind::xterm ? InsertionResult::pastedNeedsAttention
                                                        : InsertionResult::pastedFromClipboard)
        << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(waitUntil([] { return selectionText(QStringLiteral("clipboard")) == "用户自己的"; },
                          "the user's clipboard to come back"))
        << logLines().join(u'\n').toStdString();
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
             QStringLiteral(":wq\n")});
    const QString expected = QStringLiteral("已有文字") + text + u'\n';
    EXPECT_TRUE(waitUntil([&] { return readFile(file) == expected; }, "vim to write the file",
                          std::chrono::seconds(10)))
        << readFile(file).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Terminals, TerminalDesktopTest,
                         ::testing::Values(TerminalKind::xterm, TerminalKind::xfce4Terminal,
                                           TerminalKind::konsole),
                         [](const auto &info) { return testing::terminalTestName(info.param); });

} // namespace
} // namespace tovalit
