#pragma once

#include "models/active_interaction_context.h"
#include "models/insertion_result.h"
#include "platform/display_session.h"
#include "platform/paste_keys.h"
#include "services/context/terminal_screen.h"
#include "services/text_injection/clipboard_head_start.h"
#include "services/text_injection/focused_input_context.h"
#include "services/text_injection/paste_receipt.h"
#include "services/text_injection/pasteboard_snapshot.h"
#include "support/cancel_token.h"
#include "support/clock.h"
#include "support/sleeper.h"

#include <QStringList>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class AccessibilityClient;
class DesktopKeyboardPaste;
class KeySender;
class Pasteboard;
class WindowSystem;

// A terminal, and how it pastes.
struct Terminal {
    // As the user knows it: for the log and the notice.
    QString name;
    // Nothing for a terminal whose paste keys we do not know: a key it
    // does not take goes to the program running in it.
    std::optional<PasteKeys> keys;
    // Its paste key pastes the PRIMARY selection, not the clipboard.
    bool pastesPrimary = false;

    bool operator==(const Terminal &) const = default;
};

// Delivers a dictation into a terminal. A terminal gives Ctrl+V to the
// program running in it (a shell's "insert the next key literally", vim's
// too, a pager's page down): the text goes in only through the terminal's
// own paste, which also brackets it, so that a shell never runs a line of
// it by itself. Nothing is typed key by key, and no other key is sent.
//
// The paste counts where the terminal's screen shows the dictated text
// right before its cursor; a screen that changed otherwise was not pasted
// into. Where the screen cannot be read, the terminal asking for the text
// tells that it pasted it. The user's clipboard (and PRIMARY, where the
// terminal pastes that) comes back once the terminal took the text; a
// paste that did not happen leaves the text there for the user.
//
// GUI thread only.
class TerminalPaste {
public:
    struct Platform {
        std::shared_ptr<AccessibilityClient> accessibility;
        std::shared_ptr<Pasteboard> clipboard;
        // May be null: no terminal that pastes PRIMARY is pasted into.
        std::shared_ptr<Pasteboard> primary;
        std::shared_ptr<KeySender> keySender;
        // The keyboard a Wayland desktop lends; not owned.
        DesktopKeyboardPaste *desktopKeyboard = nullptr;
        Sleeper sleeper;
        MonotonicClock clock;
        DisplaySession displaySession;
        std::shared_ptr<WindowSystem> windowSystem;
    };

    // What one delivery into a terminal starts from.
    struct Target {
        Terminal terminal;
        // The terminal's screen, where the accessibility bus shows it.
        std::optional<FocusedInputContext> screen;
        std::optional<ActiveInteractionContext> interaction;
        // The process of the X server's active window in a Wayland
        // session, where there is one.
        std::optional<qint32> activeXWindowProcess;
    };

    explicit TerminalPaste(Platform platform);

    // The terminal a program of that name (window class, application id,
    // desktop entry or executable) is; nothing for any other program.
    static std::optional<Terminal> terminalNamed(const QString &identifier);
    // The terminal the focused element is: by the accessibility role of
    // its screen ("terminal"), or without one by the program's names.
    // `role` is that of the element that takes the text, where one was
    // found; an element of another role is no terminal's screen.
    static std::optional<Terminal> recognise(const std::optional<QString> &role,
                                             const QStringList &programNames);
    // Whether the screen, read before the paste and now, shows `text`
    // pasted right before the cursor: the text before the cursor ends
    // with it, or the one change between the two screens is the text put
    // in where blanks stood. Line breaks and blanks do not count: a
    // terminal wraps long lines, pads them, and draws a pasted line break
    // as it likes.
    static bool showsPaste(const QString &text, const TerminalScreen &before,
                           const TerminalScreen &now);
    // Whether the screen shows the paste of `text` echoed before what runs
    // in the terminal read it, markers and all.
    static bool showsUnreadPaste(const QString &text, const TerminalScreen &now);
    // What the user presses to paste in that terminal, for the notice.
    static QString manualPasteKeys(const std::optional<Terminal> &terminal);

    // The terminal the focused program is, if it is one.
    QCoro::Task<std::optional<Terminal>>
    focusedTerminal(std::optional<FocusedInputContext> live,
                    std::optional<ActiveInteractionContext> interaction);

    // `headStart`, when it still holds the text, has the user's clipboard
    // already.
    QCoro::Task<InsertionResult> deliver(QString text, Target target,
                                         std::unique_ptr<ClipboardHeadStart> headStart,
                                         CancelToken lifetime);

    // How long the screen is read for the paste: a busy terminal shows it
    // late, and one that never asked for the text by then never pastes.
    static constexpr double pasteWait = 4.0;
    static constexpr double screenReadInterval = 0.12;
    static constexpr double keyDelay = 0.06;
    // Where nothing tells when the terminal read the clipboard.
    static constexpr double restoreDelay = 0.32;

private:
    struct Paste {
        QString text;
        Target target;
        PasteboardSnapshot clipboardSnapshot;
        qint64 clipboardChangeCount = 0;
        std::optional<PasteboardSnapshot> primarySnapshot;
        qint64 primaryChangeCount = 0;
        // The screen just before the keys.
        std::optional<TerminalScreen> screenBefore;
        bool onDesktopKeyboard = false;
        PasteReceipt receipt;
    };

    // Coroutine bodies build no temporaries in a conditional expression:
    // GCC 12 destroys them wrongly there. Such values are made in plain
    // functions.
    QString preparedText(const QString &text, const Target &target,
                         const std::optional<TerminalScreen> &shown) const;
    // Made as the keys go out: reads of the selection the terminal pastes.
    PasteReceipt receiptFor(const Paste &paste, std::optional<qint32> target) const;
    QCoro::Task<bool> keysReachTerminal(Target target);
    QCoro::Task<bool> putOnSelections(Paste &paste, std::unique_ptr<ClipboardHeadStart> headStart);
    QCoro::Task<bool> pressKeys(PasteKeys keys, bool onDesktopKeyboard);
    QCoro::Task<std::optional<qint32>> processOf(std::optional<FocusedInputContext> screen);
    // Nothing when it cannot be read.
    QCoro::Task<std::optional<TerminalScreen>> screenText(AccessibilityElementRef screen);
    QCoro::Task<std::optional<QString>> roleOf(AccessibilityElementRef element);
    // Whether the screen showed the paste within the wait; nothing when it
    // could not be read.
    QCoro::Task<std::optional<bool>> screenShowsPaste(const Paste &paste);
    QCoro::Task<InsertionResult> confirmByRequest(Paste paste);
    // The text stays on the clipboard for the user.
    InsertionResult leaveOnClipboard(const QString &text, const QString &reason);
    InsertionResult failKeepingText(const Paste &paste, const QString &reason);
    void restoreOnceTaken(const Paste &paste);

    Platform m_platform;
};

} // namespace tovalit
