#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_window_system.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/in_memory_pasteboard.h"
#include "platform/fake/in_memory_secret_store.h"
#include "platform/fake/recording_key_sender.h"
#include "platform/fake/recording_remote_desktop_keyboard.h"
#include "services/context/focused_element_reader.h"
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
TerminalScreen screen(const QString &beforeCursor, const QString &after = {}) {
    return TerminalScreen::withCursorAfter(beforeCursor, after);
}

bool shows(const QString &text, const TerminalScreen &before, const TerminalScreen &now) {
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
    EXPECT_EQ(screen(prompt).line, QStringLiteral("$ echo 会议改到"));
}

// A screen as Konsole shows it on the accessibility bus. Its offsets
// count cells, row after row, a wide character taking two; its text leaves
// out the break after a row that ends in a wide character; a read of cells
// gives the rows they span.
class CellScreen {
public:
    CellScreen(qint64 columns, QStringList rows)
        : m_columns(columns)
        , m_rows(std::move(rows)) {}

    void setCursor(qint64 row, qint64 column) {
        m_cursorRow = row;
        m_cursorColumn = column;
    }
    void setRow(qint64 row, const QString &text) { m_rows[row] = text; }
    // Typed or pasted at the cursor, which moves on past it.
    void insertAtCursor(const QString &text) {
        QString &row = m_rows[m_cursorRow];
        const qsizetype at = characterAt(row, m_cursorColumn);
        row.insert(at, text);
        m_cursorColumn += cells(text);
    }

    QString text() const {
        QString text;
        for (const QString &row : m_rows)
            text += row + (endsWide(row) ? QString() : QStringLiteral("\n"));
        return text + u'\n';
    }
    qint64 cursor() const { return m_cursorRow * m_columns + m_cursorColumn; }
    QString cellsText(AccessibilityRange range) const {
        QString text;
        const qint64 end = range.location + range.length;
        for (qint64 row = range.location / m_columns; row * m_columns < end; ++row) {
            const qint64 from = qMax<qint64>(range.location - row * m_columns, 0);
            const qint64 to = qMin<qint64>(end - row * m_columns, m_columns);
            const QString &shown = m_rows.value(row);
            text += shown.mid(characterAt(shown, from),
                              characterAt(shown, to) - characterAt(shown, from));
            if (row * m_columns + m_columns < end && !endsWide(shown))
                text += u'\n';
        }
        return text;
    }

    // Shows it as `screen`'s text, with its cursor and what a read of its
    // cells gives.
    void showOn(FakeAccessibilityElement &screen, std::shared_ptr<CellScreen> shown) {
        screen.set(ax::value, text());
        screen.set(ax::caret, AccessibilityRange{cursor(), 0});
        screen.set(ax::selectedTextRange, AccessibilityRange{cursor(), 0});
        screen.set(ax::characterCount, AccessibilityRange{0, m_columns * m_rows.size()});
        screen.set(ax::screenColumns, AccessibilityRange{0, m_columns});
        screen.answer(
            ax::stringForRange,
            [shown](const AccessibilityValue &parameter) -> std::optional<AccessibilityValue> {
                const auto *range = std::get_if<AccessibilityRange>(&parameter);
                if (!range)
                    return std::nullopt;
                return AccessibilityValue(shown->cellsText(*range));
            });
    }

private:
    static bool wide(QChar character) { return character.unicode() >= 0x2E80; }
    static qint64 cells(const QString &text) {
        qint64 count = 0;
        for (const QChar character : text)
            count += wide(character) ? 2 : 1;
        return count;
    }
    static bool endsWide(const QString &row) { return !row.isEmpty() && wide(row.back()); }
    // The character that starts at or after cell `cell` of `row`.
    static qsizetype characterAt(const QString &row, qint64 cell) {
        qint64 at = 0;
        for (qsizetype index = 0; index < row.size(); ++index) {
            if (at >= cell)
                return index;
            at += wide(row[index]) ? 2 : 1;
        }
        return row.size();
    }

    qint64 m_columns;
    QStringList m_rows;
    qint64 m_cursorRow = 0;
    qint64 m_cursorColumn = 0;
};

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

// A shell not reading its input yet: the terminal's line discipline echoes
// the paste as it came, its brackets and all, until the shell takes it.
// The terminal took the text; nothing on screen says where it went.
TEST_F(TerminalInsertionTest, APasteEchoedBeforeTheShellReadsItIsTakenUnchecked) {
    keys->onPaste = [this] {
        const QString text = clipboard->readBy(42).value_or(QString());
        show(shown() + QStringLiteral("^[[200~") + text + QStringLiteral("^[[201~"));
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("明天上午"), QStringLiteral("xfce4-terminal")),
              InsertionResult::pastedNeedsAttention);
    EXPECT_TRUE(clipboardBack());
    EXPECT_EQ(
        logLines(QStringLiteral("insert.result")),
        QStringList{QStringLiteral("result=pastedNeedsAttention | path=terminal-taken-unseen")});
}

TEST_F(TerminalInsertionTest, KonsoleShowsThePasteAtItsCursorAfterWideCharacters) {
    // vim in insert mode at the end of a line of wide characters, its
    // ruler showing where the cursor stands.
    auto konsole = std::make_shared<CellScreen>(
        40, QStringList{QStringLiteral("已有文字"), QStringLiteral("~"), QStringLiteral("~"),
                        QStringLiteral("-- INSERT --                  1,13-9")});
    konsole->setCursor(0, 8);
    konsole->showOn(*screen, konsole);
    keys->onPaste = [this, konsole] {
        if (keys->pastedKeys().last() == PasteKeys::controlShiftV) {
            clipboard->readBy(42);
            konsole->insertAtCursor(clipboard->string().value_or(QString()));
            konsole->setRow(3, QStringLiteral("-- INSERT --                  1,38-26"));
            konsole->showOn(*screen, konsole);
        }
        return true;
    };
    EXPECT_EQ(insert(QStringLiteral("今天下午3点开会。"), QStringLiteral("org.kde.konsole")),
              InsertionResult::pastedFromClipboard)
        << logLines().join(u'\n').toStdString();
    EXPECT_EQ(keys->pastedKeys(), QList<PasteKeys>{PasteKeys::controlShiftV});
    EXPECT_TRUE(clipboardBack());
}

TEST_F(TerminalInsertionTest, KonsolesCursorLineIsTheContextAfterWideCharacters) {
    // Output that ends in wide characters runs into the prompt below it in
    // Konsole's text.
    auto konsole = std::make_shared<CellScreen>(
        40, QStringList{QStringLiteral("$ echo 半截命令"), QStringLiteral("半截命令"),
                        QStringLiteral("$ echo 半截命令 ab"), QString()});
    konsole->setCursor(2, 17);
    konsole->showOn(*screen, konsole);
    const FocusedElementContext context =
        FocusedElementReader::captureFocusedElementContext(*accessibility, 42);
    EXPECT_EQ(context.surroundingTextBeforeCursor.value_or(QStringLiteral("<nil>")),
              QStringLiteral("$ echo 半截命令 a"));
    EXPECT_EQ(context.surroundingTextAfterCursor.value_or(QString()), QString());

    // Where the cursor stands at the start of its row.
    konsole->setCursor(3, 0);
    konsole->showOn(*screen, konsole);
    EXPECT_EQ(FocusedElementReader::captureFocusedElementContext(*accessibility, 42)
                  .surroundingTextBeforeCursor.value_or(QString()),
              QString());
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
