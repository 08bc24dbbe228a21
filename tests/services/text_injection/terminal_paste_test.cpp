#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_window_system.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/in_memory_pasteboard.h"
#include "platform/fake/in_memory_secret_store.h"
#include "platform/fake/recording_key_sender.h"
#include "platform/fake/recording_remote_desktop_keyboard.h"
#include "services/permissions/remote_desktop_keyboard_access.h"
#include "services/settings/app_configuration_store.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "services/text_injection/terminal_paste.h"
#include "tests/services/text_injection/insertion_printers.h"
#include "tests/support/capture_log.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {

void PrintTo(const Terminal &terminal, std::ostream *out) {
    *out << terminal.name.toStdString()
         << " keys=" << (terminal.keys ? pasteKeysText(*terminal.keys).toStdString() : "<unknown>")
         << (terminal.pastesPrimary ? " PRIMARY" : "");
}

namespace {

using testing::runTask;
using testing::waitUntil;

TEST(TerminalRulesTest, EachTerminalIsPastedIntoWithItsOwnKeys) {
    for (const QString &name :
         {QStringLiteral("org.gnome.Terminal"), QStringLiteral("gnome-terminal-server"),
          QStringLiteral("xfce4-terminal"), QStringLiteral("Xfce4-terminal"),
          QStringLiteral("com.gexperts.Tilix"), QStringLiteral("org.kde.konsole"),
          QStringLiteral("konsole"), QStringLiteral("kitty"), QStringLiteral("Alacritty"),
          QStringLiteral("foot"), QStringLiteral("org.wezfurlong.wezterm.desktop"),
          QStringLiteral("/usr/libexec/gnome-terminal-server")}) {
        const std::optional<Terminal> terminal = TerminalPaste::terminalNamed(name);
        ASSERT_TRUE(terminal) << name.toStdString();
        EXPECT_EQ(terminal->keys, PasteKeys::controlShiftV) << name.toStdString();
        EXPECT_FALSE(terminal->pastesPrimary) << name.toStdString();
    }
    for (const QString &name : {QStringLiteral("XTerm"), QStringLiteral("debian-xterm.desktop"),
                               QStringLiteral("/usr/bin/xterm"), QStringLiteral("URxvt"),
                               QStringLiteral("rxvt-unicode")}) {
        const std::optional<Terminal> terminal = TerminalPaste::terminalNamed(name);
        ASSERT_TRUE(terminal) << name.toStdString();
        EXPECT_EQ(terminal->keys, PasteKeys::shiftInsert) << name.toStdString();
        EXPECT_TRUE(terminal->pastesPrimary) << name.toStdString();
    }
    // Programs that merely have "terminal" or "console" in a name.
    for (const QString &name :
         {QStringLiteral("firefox-esr"), QStringLiteral("org.gnome.TextEditor"),
          QStringLiteral("terminal"), QStringLiteral("org.example.Console"), QString()})
        EXPECT_FALSE(TerminalPaste::terminalNamed(name)) << name.toStdString();
}

TEST(TerminalRulesTest, AScreenRoleMakesATerminalAndAnyOtherRoleNone) {
    EXPECT_EQ(TerminalPaste::recognise(QStringLiteral("terminal"), {QStringLiteral("myterm")}),
              (Terminal{QStringLiteral("myterm"), std::nullopt, false}));
    EXPECT_EQ(TerminalPaste::recognise(QStringLiteral("terminal"),
                                       {QStringLiteral("myterm"), QStringLiteral("konsole")})
                  ->keys,
              PasteKeys::controlShiftV);
    // Konsole's own search field is a text field like any other.
    EXPECT_FALSE(TerminalPaste::recognise(QStringLiteral("text"), {QStringLiteral("konsole")}));
    // No accessibility: the program's names alone.
    EXPECT_EQ(TerminalPaste::recognise(std::nullopt, {QStringLiteral("XTerm")})->keys,
              PasteKeys::shiftInsert);
    EXPECT_FALSE(TerminalPaste::recognise(std::nullopt, {QStringLiteral("mousepad")}));
}

// The screen with the cursor at the end of `beforeCursor`.
TerminalPaste::ScreenText screen(const QString &beforeCursor, const QString &after = {}) {
    return TerminalPaste::ScreenText{beforeCursor + after, beforeCursor.size()};
}

bool shows(const QString &text, const TerminalPaste::ScreenText &before,
           const TerminalPaste::ScreenText &now) {
    return TerminalPaste::showsPaste(text, before, now);
}

TEST(TerminalRulesTest, OnlyTheDictatedTextAtTheCursorIsAPaste) {
    const QString text = QStringLiteral("明天上午10点评审代码。");
    const QString prompt = QStringLiteral("ls\nfile.txt\n$ echo 会议改到");
    EXPECT_TRUE(shows(text, screen(prompt), screen(prompt + text)));
    // Wrapped at the screen's edge; lines of the dictation.
    EXPECT_TRUE(
        shows(text, screen(prompt), screen(prompt + QStringLiteral("明天上午10\n点评审代码。"))));
    EXPECT_TRUE(shows(QStringLiteral("第一行\n第二行"), screen(prompt),
                      screen(prompt + QStringLiteral("第一行\n第二行"))));
    // vim's "insert the next key literally".
    EXPECT_FALSE(shows(text, screen(QStringLiteral("abc")), screen(QStringLiteral("abc^"))));
    // A pager's page down, and a redraw.
    EXPECT_FALSE(shows(text, screen(prompt), screen(QStringLiteral("line 40\nline 41\n:"))));
    EXPECT_FALSE(shows(text, screen(prompt), screen(prompt)));
    // The same text already stood there before.
    EXPECT_FALSE(shows(text, screen(prompt + text), screen(prompt + text)));
    EXPECT_TRUE(shows(text, screen(prompt + text), screen(prompt + text + text)));
    // Konsole counts its cursor in cells, and pads its lines: after wide
    // characters the cursor stands past the line's end.
    const QString padding(20, u' ');
    const TerminalPaste::ScreenText before{
        QStringLiteral("abc") + padding + QStringLiteral("\n~") + padding, 3};
    const TerminalPaste::ScreenText after{
        QStringLiteral("abc你好，世界。") + padding.mid(12) + QStringLiteral("\n~") + padding, 15};
    EXPECT_TRUE(shows(QStringLiteral("你好，世界。"), before, after));
    EXPECT_FALSE(shows(QStringLiteral("你好"), before, after));
    EXPECT_EQ(TerminalPaste::cursorLine(prompt), QStringLiteral("$ echo 会议改到"));
}

// Time that passes only when the insertion waits.
struct FakeTime {
    double now = 0;
};

QCoro::Task<void> fakeSleep(std::shared_ptr<FakeTime> time, double seconds) {
    co_await sleepFor(0.0005, CancelToken());
    time->now += seconds;
}

class TerminalInsertionTest : public testing::WithDiagnosticsLog {
protected:
    void SetUp() override {
        screen->set(ax::role, QStringLiteral("terminal"));
        screen->setProcessIdentifier(42);
        show(QStringLiteral("$ ls\nnotes.txt\n$ echo 会议改到"));
        app->set(ax::focusedUIElement, AccessibilityElementRef(screen));
        accessibility->setApplication(42, app);
        clipboard->copyFromElsewhere(QStringLiteral("old"));
        primary->copyFromElsewhere(QStringLiteral("selected"));
        clipboard->setSeesReads(true);
        primary->setSeesReads(true);
        service = std::make_unique<FocusedInputInsertionService>(
            accessibility, clipboard, keys,
            [time = time](double seconds, CancelToken) { return fakeSleep(time, seconds); },
            [time = time] { return time->now; }, DisplaySession{}, windows, nullptr, primary);
    }

    void TearDown() override {
        service.reset();
        waitUntil([this] { return time.use_count() == 1; }, "the background work to end");
    }

    // The screen's text up to the cursor, which stands at its end.
    void show(const QString &beforeCursor) {
        screen->set(ax::value, beforeCursor);
        screen->set(ax::selectedTextRange, AccessibilityRange{beforeCursor.size(), 0});
        screen->set(ax::caret, AccessibilityRange{beforeCursor.size(), 0});
    }
    QString shown() const {
        return accessibilityValueAs<QString>(screen->attributeValue(ax::value)).value_or(QString());
    }

    // A terminal of the VTE kind: its paste keys paste the clipboard at the
    // cursor, Ctrl+V alone goes to the shell as a control character.
    void pasteLikeVte() {
        keys->onPaste = [this] {
            if (keys->pastedKeys().last() == PasteKeys::controlShiftV) {
                clipboard->readBy(42);
                show(shown() + clipboard->string().value_or(QString()));
            }
            return true;
        };
    }

    static ActiveInteractionContext context(const QString &bundleID) {
        ActiveInteractionContext context;
        context.appName = bundleID;
        context.bundleID = bundleID;
        context.processIdentifier = 42;
        return context;
    }

    InsertionResult insert(const QString &text, const QString &bundleID) {
        return runTask(service->insert(text, context(bundleID), {}));
    }

    // Lets the background restore run.
    bool clipboardBack() {
        return waitUntil([this] { return clipboard->string() == QStringLiteral("old"); },
                         "the clipboard to come back");
    }

    std::shared_ptr<FakeAccessibilityClient> accessibility =
        std::make_shared<FakeAccessibilityClient>();
    std::shared_ptr<FakeAccessibilityElement> app =
        FakeAccessibilityElement::create(QStringLiteral("app"));
    std::shared_ptr<FakeAccessibilityElement> screen =
        FakeAccessibilityElement::create(QStringLiteral("screen"));
    std::shared_ptr<InMemoryPasteboard> clipboard = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<InMemoryPasteboard> primary = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<RecordingKeySender> keys = std::make_shared<RecordingKeySender>();
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<FakeTime> time = std::make_shared<FakeTime>();
    std::unique_ptr<FocusedInputInsertionService> service;
};

TEST_F(TerminalInsertionTest, AScreenShowingTheTextAtTheCursorIsAPasteOfItsOwnKeys) {
    pasteLikeVte();
    const QString text = QStringLiteral("明天上午10点评审代码。\n第二行");
    EXPECT_EQ(insert(text, QStringLiteral("xfce4-terminal")), InsertionResult::pastedFromClipboard);
    EXPECT_EQ(keys->pastedKeys(), QList<PasteKeys>{PasteKeys::controlShiftV})
        << "one paste, and nothing typed after it";
    EXPECT_TRUE(shown().endsWith(QStringLiteral("$ echo 会议改到") + text));
    EXPECT_EQ(shown().count(text), 1);
    EXPECT_TRUE(clipboardBack());
    EXPECT_EQ(primary->string(), QStringLiteral("selected")) << "PRIMARY untouched";
    EXPECT_EQ(logLines(QStringLiteral("insert.result")),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=terminal-screen")});
}

TEST_F(TerminalInsertionTest, AScreenChangeThatIsNotTheTextIsNoPaste) {
    // vim's "insert the next key literally", and a pager's page down.
    for (const QString &change : {QStringLiteral("^"), QStringLiteral("\nline 41\nline 42\n:")}) {
        show(QStringLiteral("$ vim notes.txt\nabc"));
        clipboard->copyFromElsewhere(QStringLiteral("old"));
        keys->onPaste = [this, change] {
            clipboard->readBy(42);
            show(shown() + change);
            return true;
        };
        EXPECT_EQ(insert(QStringLiteral("你好"), QStringLiteral("org.gnome.Terminal")),
                  InsertionResult::insertFailedCopiedToClipboard);
        EXPECT_EQ(clipboard->string(), QStringLiteral("你好")) << "left for the user to paste";
        EXPECT_EQ(shown(), QStringLiteral("$ vim notes.txt\nabc") + change);
    }
}

TEST_F(TerminalInsertionTest, XtermIsPastedFromPrimaryAndBelievedOnceItTookTheText) {
    // xterm shows nothing on the accessibility bus.
    app->remove(ax::focusedUIElement);
    windows->setFrontmost(RunningApplication{42, QStringLiteral("XTerm"), QStringLiteral("XTerm")});
    std::optional<QString> pasted;
    keys->onPaste = [this, &pasted] {
        if (keys->pastedKeys().last() == PasteKeys::shiftInsert)
            pasted = primary->readBy(42);
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("你好"), QStringLiteral("XTerm")),
              InsertionResult::pastedNeedsAttention);
    EXPECT_EQ(keys->pastedKeys(), QList<PasteKeys>{PasteKeys::shiftInsert});
    EXPECT_EQ(pasted, QStringLiteral("你好"));
    EXPECT_TRUE(clipboardBack());
    EXPECT_TRUE(waitUntil([this] { return primary->string() == QStringLiteral("selected"); },
                          "PRIMARY to come back"));
}

TEST_F(TerminalInsertionTest, XtermThatNeverAskedForTheTextLeavesItForTheUser) {
    app->remove(ax::focusedUIElement);
    windows->setFrontmost(RunningApplication{42, QStringLiteral("XTerm"), QStringLiteral("XTerm")});
    EXPECT_EQ(insert(QStringLiteral("你好"), QStringLiteral("XTerm")),
              InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(keys->pastedKeys(), QList<PasteKeys>{PasteKeys::shiftInsert});
    EXPECT_EQ(clipboard->string(), QStringLiteral("你好"));
    EXPECT_EQ(primary->string(), QStringLiteral("你好"));
}

TEST_F(TerminalInsertionTest, ATerminalWhosePasteKeysAreUnknownGetsNoKeyAtAll) {
    EXPECT_EQ(insert(QStringLiteral("你好"), QStringLiteral("org.example.MyTerm")),
              InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(keys->pasteCount(), 0);
    EXPECT_EQ(clipboard->string(), QStringLiteral("你好"));
    EXPECT_EQ(shown(), QStringLiteral("$ ls\nnotes.txt\n$ echo 会议改到"));
}

// A native terminal window of a Wayland session: its keys go out on the
// keyboard the desktop lends, and never as a write over accessibility,
// which a terminal would take as typed.
class TerminalOnWaylandTest : public TerminalInsertionTest {
protected:
    void SetUp() override {
        TerminalInsertionTest::SetUp();
        desktopKeys->onPaste = [this] {
            if (desktopKeys->pastedKeys().last() == PasteKeys::controlShiftV) {
                clipboard->readBy(std::nullopt);
                show(shown() + clipboard->string().value_or(QString()));
            }
            return true;
        };
        access = std::make_shared<RemoteDesktopKeyboardAccess>(
            store, desktopKeys, std::make_shared<InMemorySecretStore>(), answerLimit.sleeper());
        service = std::make_unique<FocusedInputInsertionService>(
            accessibility, clipboard, keys,
            [time = time](double seconds, CancelToken) { return fakeSleep(time, seconds); },
            [time = time] { return time->now; }, DisplaySession{true}, windows, access, primary);
    }

    void TearDown() override {
        TerminalInsertionTest::TearDown();
        access.reset();
    }

    InMemoryDefaultsStore defaults;
    AppConfigurationStore store{defaults, AppConfigurationStore::Environment()};
    std::shared_ptr<RecordingRemoteDesktopKeyboard> desktopKeys =
        std::make_shared<RecordingRemoteDesktopKeyboard>();
    testing::ManualSleeper answerLimit;
    std::shared_ptr<RemoteDesktopKeyboardAccess> access;
};

TEST_F(TerminalOnWaylandTest, ANativeTerminalWithoutALentKeyboardGetsNothingTyped) {
    // Nothing lent: no key, no write into the screen, the text left.
    desktopKeys->answerWith(RemoteDesktopKeyboardError::Kind::refused);
    EXPECT_EQ(insert(QStringLiteral("你好"), QStringLiteral("org.kde.konsole")),
              InsertionResult::insertFailedCopiedToClipboard);
    EXPECT_EQ(shown(), QStringLiteral("$ ls\nnotes.txt\n$ echo 会议改到"));
    EXPECT_EQ(keys->pasteCount() + desktopKeys->pasteCount(), 0);
    EXPECT_EQ(clipboard->string(), QStringLiteral("你好"));
}

TEST_F(TerminalOnWaylandTest, ANativeTerminalIsPastedIntoWithItsKeysOnTheLentKeyboard) {
    access->requestIfNeeded();
    ASSERT_TRUE(
        waitUntil([this] { return access->state() == RemoteDesktopKeyboardAccess::State::granted; },
                  "the desktop's keyboard"));
    EXPECT_EQ(insert(QStringLiteral("你好"), QStringLiteral("org.kde.konsole")),
              InsertionResult::pastedFromClipboard);
    EXPECT_EQ(desktopKeys->pastedKeys(), QList<PasteKeys>{PasteKeys::controlShiftV});
    EXPECT_EQ(keys->pasteCount(), 0) << "nothing through the X server";
    EXPECT_EQ(shown(), QStringLiteral("$ ls\nnotes.txt\n$ echo 会议改到你好"));
    EXPECT_TRUE(clipboardBack());
}

} // namespace
} // namespace tovalit
