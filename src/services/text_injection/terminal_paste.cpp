#include "services/text_injection/terminal_paste.h"

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "platform/key_sender.h"
#include "platform/pasteboard.h"
#include "platform/window_system.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/text_injection/desktop_keyboard_paste.h"
#include "services/text_injection/focused_input_insertion_error.h"
#include "services/text_injection/insertion_preparation.h"
#include "support/spawn.h"

#include <QFile>
#include <QFileInfo>

namespace tovalit {

namespace {

struct KnownTerminal {
    QStringList names;
    QString shownName;
    PasteKeys keys;
    bool pastesPrimary = false;
};

// Every name a terminal goes by: its window classes, application ids,
// desktop entries and executables, in lower case.
const QList<KnownTerminal> &knownTerminals() {
    static const QList<KnownTerminal> terminals = {
        {{QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal-server"),
          QStringLiteral("org.gnome.terminal")},
         QStringLiteral("GNOME Terminal"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("kgx"), QStringLiteral("org.gnome.console")},
         QStringLiteral("GNOME Console"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("ptyxis"), QStringLiteral("org.gnome.ptyxis")},
         QStringLiteral("Ptyxis"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("xfce4-terminal")},
         QStringLiteral("xfce4-terminal"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("tilix"), QStringLiteral("com.gexperts.tilix")},
         QStringLiteral("Tilix"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("terminator")}, QStringLiteral("Terminator"), PasteKeys::controlShiftV},
        {{QStringLiteral("mate-terminal")},
         QStringLiteral("MATE Terminal"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("lxterminal")}, QStringLiteral("LXTerminal"), PasteKeys::controlShiftV},
        {{QStringLiteral("qterminal")}, QStringLiteral("QTerminal"), PasteKeys::controlShiftV},
        {{QStringLiteral("sakura")}, QStringLiteral("Sakura"), PasteKeys::controlShiftV},
        {{QStringLiteral("guake")}, QStringLiteral("Guake"), PasteKeys::controlShiftV},
        {{QStringLiteral("tilda")}, QStringLiteral("Tilda"), PasteKeys::controlShiftV},
        {{QStringLiteral("terminology")}, QStringLiteral("Terminology"), PasteKeys::controlShiftV},
        {{QStringLiteral("konsole"), QStringLiteral("org.kde.konsole"), QStringLiteral("yakuake"),
          QStringLiteral("org.kde.yakuake")},
         QStringLiteral("Konsole"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("kitty")}, QStringLiteral("kitty"), PasteKeys::controlShiftV},
        {{QStringLiteral("alacritty"), QStringLiteral("org.alacritty")},
         QStringLiteral("Alacritty"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("foot"), QStringLiteral("footclient"), QStringLiteral("foot-server")},
         QStringLiteral("foot"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("wezterm"), QStringLiteral("wezterm-gui"),
          QStringLiteral("org.wezfurlong.wezterm")},
         QStringLiteral("WezTerm"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("st"), QStringLiteral("st-256color")},
         QStringLiteral("st"),
         PasteKeys::controlShiftV},
        {{QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("debian-xterm"),
          QStringLiteral("debian-uxterm")},
         QStringLiteral("xterm"),
         PasteKeys::shiftInsert,
         true},
        {{QStringLiteral("urxvt"), QStringLiteral("urxvtc"), QStringLiteral("urxvtd"),
          QStringLiteral("urxvt256c"), QStringLiteral("rxvt"), QStringLiteral("rxvt-unicode")},
         QStringLiteral("urxvt"),
         PasteKeys::shiftInsert,
         true},
    };
    return terminals;
}

const QString terminalRole = QStringLiteral("terminal");

void logTerminal(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.terminal"), message);
}

void logResult(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.result"), message);
}

// Without blanks and line breaks: how a terminal lays the text out is its
// own affair.
QString compact(const QString &text) {
    QString result;
    result.reserve(text.size());
    for (const QChar character : text) {
        if (!character.isSpace())
            result.append(character);
    }
    return result;
}

// Log lines are built in plain functions: GCC 12 miscompiles capturing
// lambdas inside coroutine bodies.
void logNotShown(const TerminalScreen &now, const TerminalScreen &before) {
    const QString line = now.line;
    const QString lineBefore = before.line;
    TovalitDebugLogger::log(QStringLiteral("insert.terminal"), [line, lineBefore]() -> QString {
        return QStringLiteral("paste not shown at the cursor | line=") +
               TovalitDebugLogger::preview(line, 240) + QStringLiteral(" | lineBefore=") +
               TovalitDebugLogger::preview(lineBefore, 240);
    });
}

QString flag(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void logDeliveryStart(const Terminal &terminal, bool screenReadable) {
    logTerminal(QStringLiteral("terminal=") +
                (terminal.name.isEmpty() ? QStringLiteral("<unknown>") : terminal.name) +
                QStringLiteral(" | keys=") +
                (terminal.keys ? pasteKeysText(*terminal.keys) : QStringLiteral("<unknown>")) +
                QStringLiteral(" | screen=") +
                (screenReadable ? QStringLiteral("readable") : QStringLiteral("<nil>")));
}

// When the keys went out: the terminal's part of the paste begins there.
void logKeys(PasteKeys keys, bool pressed, bool onDesktopKeyboard) {
    TovalitDebugLogger::log(
        QStringLiteral("insert.keys"),
        QStringLiteral("sent=") + flag(pressed) + QStringLiteral(" | keys=") + pasteKeysText(keys) +
            QStringLiteral(" | via=") +
            (onDesktopKeyboard ? QStringLiteral("desktop-keyboard") : QStringLiteral("x-server")));
}

void logTaken(bool taken, double afterKeys) {
    logTerminal((taken ? QStringLiteral("paste taken | afterKeys=")
                       : QStringLiteral("paste not taken | afterKeys=")) +
                QString::number(afterKeys, 'f', 2));
}

void logRestore(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.restore"), message);
}

QCoro::Task<std::optional<qint32>> noProcess() {
    co_return std::nullopt;
}

QString executableName(qint32 processID) {
    const QString target = QFileInfo(QStringLiteral("/proc/%1/exe").arg(processID)).symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).fileName();
}

QCoro::Task<void> restoreWhenTaken(std::shared_ptr<Pasteboard> clipboard,
                                   PasteboardSnapshot clipboardSnapshot, qint64 clipboardCount,
                                   std::shared_ptr<Pasteboard> primary,
                                   std::optional<PasteboardSnapshot> primarySnapshot,
                                   qint64 primaryCount, PasteReceipt receipt, Sleeper sleeper) {
    // Put back before the terminal read it, the user's own text is what it
    // would paste.
    if (receipt.tells()) {
        const bool taken = co_await receipt.waitUntilTaken(TerminalPaste::pasteWait, sleeper);
        if (!taken) {
            logRestore(QStringLiteral("kept | reason=not-taken"));
            co_return;
        }
    } else {
        co_await sleeper(TerminalPaste::restoreDelay, CancelToken());
    }
    clipboardSnapshot.writeBackUnlessChanged(*clipboard, clipboardCount);
    if (primary && primarySnapshot)
        primarySnapshot->writeBackUnlessChanged(*primary, primaryCount, QStringLiteral("primary"));
}

} // namespace

TerminalPaste::TerminalPaste(Platform platform)
    : m_platform(std::move(platform)) {}

std::optional<Terminal> TerminalPaste::terminalNamed(const QString &identifier) {
    QString name = identifier.trimmed().toLower();
    if (name.endsWith(QStringLiteral(".desktop")))
        name.chop(8);
    name = name.mid(name.lastIndexOf(u'/') + 1);
    if (name.isEmpty())
        return std::nullopt;
    // An application id names the program in its last part
    // ("org.kde.konsole").
    const QString lastPart = name.mid(name.lastIndexOf(u'.') + 1);
    for (const KnownTerminal &known : knownTerminals()) {
        if (known.names.contains(name) || known.names.contains(lastPart))
            return Terminal{known.shownName, known.keys, known.pastesPrimary};
    }
    return std::nullopt;
}

std::optional<Terminal> TerminalPaste::recognise(const std::optional<QString> &role,
                                                 const QStringList &programNames) {
    const bool terminalScreen = role && role->trimmed().toLower() == terminalRole;
    if (role && !terminalScreen)
        return std::nullopt;
    for (const QString &name : programNames) {
        if (const std::optional<Terminal> known = terminalNamed(name))
            return known;
    }
    if (!terminalScreen)
        return std::nullopt;
    QString name;
    for (const QString &candidate : programNames) {
        if (!candidate.trimmed().isEmpty()) {
            name = candidate.trimmed();
            break;
        }
    }
    return Terminal{name, std::nullopt, false};
}

bool TerminalPaste::showsPaste(const QString &text, const TerminalScreen &before,
                               const TerminalScreen &now) {
    const QString pasted = compact(text);
    if (pasted.isEmpty())
        return now.text != before.text;
    const QString then = compact(before.beforeCursor);
    const QString shown = compact(now.beforeCursor);
    // The same text already stood there: it counts once it stands there
    // once more.
    if (shown.endsWith(pasted) &&
        (!then.endsWith(pasted) || shown.size() >= then.size() + pasted.size()))
        return true;
    // The one stretch that changed, found from both ends.
    qsizetype head = 0;
    const qsizetype shorter = qMin(before.text.size(), now.text.size());
    while (head < shorter && before.text[head] == now.text[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           before.text[before.text.size() - 1 - tail] == now.text[now.text.size() - 1 - tail])
        ++tail;
    const QString removed = before.text.mid(head, before.text.size() - head - tail);
    const QString added = now.text.mid(head, now.text.size() - head - tail);
    return compact(removed).isEmpty() && compact(added) == pasted;
}

bool TerminalPaste::showsUnreadPaste(const QString &text, const TerminalScreen &now) {
    // A program not reading its input yet (a shell between two prompts, a
    // command still running): the terminal's line discipline echoes the
    // bracketed paste as it came, its markers shown as typed.
    const QString echoed = QStringLiteral("^[[200~") + text + QStringLiteral("^[[201~");
    return compact(now.beforeCursor).endsWith(compact(echoed));
}

QString TerminalPaste::manualPasteKeys(const std::optional<Terminal> &terminal) {
    if (terminal && terminal->keys)
        return pasteKeysText(*terminal->keys);
    return QStringLiteral("终端自己的粘贴键");
}

QCoro::Task<std::optional<Terminal>>
TerminalPaste::focusedTerminal(std::optional<FocusedInputContext> live,
                               std::optional<ActiveInteractionContext> interaction) {
    std::optional<QString> role;
    if (live) {
        role = co_await roleOf(live->element);
        // The cheap answer for every field that is no terminal's screen.
        if (role && role->trimmed().toLower() != terminalRole)
            co_return std::nullopt;
    }
    QStringList names;
    std::optional<qint32> processID = co_await processOf(live);
    if (!processID && interaction && interaction->processIdentifier > 0)
        processID = interaction->processIdentifier;
    if (processID)
        names.append(executableName(*processID));
    if (interaction) {
        names.append(interaction->bundleID);
        names.append(interaction->appName);
    }
    // The X server's focused window is the terminal only in an X11
    // session, or when it is the same program's.
    if (m_platform.windowSystem && !m_platform.displaySession.wayland) {
        if (const auto front = m_platform.windowSystem->frontmostApplication();
            front && (!processID || front->processIdentifier == *processID)) {
            names.append(front->bundleIdentifier.value_or(QString()));
            names.append(front->localizedName.value_or(QString()));
        }
    }
    names.removeAll(QString());
    co_return recognise(role, names);
}

QString TerminalPaste::preparedText(const QString &text, const Target &target,
                                    const std::optional<TerminalScreen> &shown) const {
    // Only the cursor's line is the terminal's text before the caret; the
    // screen above is output.
    if (target.screen && shown) {
        const QString &line = shown->line;
        const FocusedInputContext lineContext{target.screen->element, line,
                                              AccessibilityRange{line.size(), 0}};
        const PreparedInsertion prepared =
            InsertionPreparation::prepareInsertion(text, lineContext);
        // A rewrite that re-takes text before the cursor cannot be pasted:
        // the terminal takes nothing back.
        if (!prepared.context || prepared.context->selectedRange == lineContext.selectedRange)
            return prepared.text;
        return text;
    }
    if (target.interaction)
        return InsertionPreparation::prepareInsertion(text,
                                                      target.interaction->naturalFormattingContext)
            .text;
    return text;
}

QCoro::Task<InsertionResult> TerminalPaste::deliver(QString text, Target target,
                                                    std::unique_ptr<ClipboardHeadStart> headStart,
                                                    CancelToken lifetime) {
    Paste paste;
    std::optional<TerminalScreen> screenAtStart;
    if (target.screen)
        screenAtStart = co_await screenText(target.screen->element);
    paste.text = preparedText(text, target, screenAtStart);
    paste.target = target;
    const Terminal &terminal = target.terminal;
    logDeliveryStart(terminal, target.screen.has_value());
    if (paste.text.isEmpty()) {
        logResult(QStringLiteral("result=insertedDirectly | reason=empty-effective-text"));
        co_return InsertionResult::insertedDirectly;
    }
    if (headStart)
        headStart->takeOver();
    if (!terminal.keys)
        co_return leaveOnClipboard(paste.text, QStringLiteral("terminal-paste-keys-unknown"));
    if (terminal.pastesPrimary && !m_platform.primary)
        co_return leaveOnClipboard(paste.text, QStringLiteral("terminal-primary-unavailable"));

    const bool direct = co_await keysReachTerminal(target);
    if (!direct) {
        AccessibilityElementRef screen;
        if (target.screen)
            screen = target.screen->element;
        bool lent = false;
        if (m_platform.desktopKeyboard)
            lent = co_await m_platform.desktopKeyboard->ready(screen);
        if (!lent)
            co_return leaveOnClipboard(paste.text, QStringLiteral("terminal-no-keyboard"));
        paste.onDesktopKeyboard = true;
    }

    const bool written = co_await putOnSelections(paste, std::move(headStart));
    if (!written)
        throw FocusedInputInsertionError(FocusedInputInsertionError::Kind::pasteboardWriteFailed);

    if (target.screen)
        paste.screenBefore = co_await screenText(target.screen->element);
    if (!paste.screenBefore)
        paste.target.screen.reset();

    co_await m_platform.sleeper(keyDelay, lifetime);
    if (lifetime.isCancelled())
        co_return failKeepingText(paste, QStringLiteral("cancelled"));
    std::optional<qint32> processID = co_await processOf(target.screen);
    if (!processID && target.interaction && target.interaction->processIdentifier > 0)
        processID = target.interaction->processIdentifier;
    paste.receipt = receiptFor(paste, processID);
    const bool pressed = co_await pressKeys(*terminal.keys, paste.onDesktopKeyboard);
    if (!pressed)
        co_return failKeepingText(paste, QStringLiteral("paste-keys-failed"));

    const std::optional<bool> shown = co_await screenShowsPaste(paste);
    if (!shown)
        co_return co_await confirmByRequest(std::move(paste));
    if (!*shown)
        co_return failKeepingText(paste, QStringLiteral("terminal-screen-not-pasted"));
    logTerminal(QStringLiteral("paste shown at the cursor"));
    restoreOnceTaken(paste);
    logResult(QStringLiteral("result=pastedFromClipboard | path=terminal-screen"));
    co_return InsertionResult::pastedFromClipboard;
}

PasteReceipt TerminalPaste::receiptFor(const Paste &paste, std::optional<qint32> target) const {
    const std::shared_ptr<Pasteboard> &selection =
        paste.target.terminal.pastesPrimary ? m_platform.primary : m_platform.clipboard;
    return PasteReceipt(selection, target, paste.onDesktopKeyboard, m_platform.clock);
}

QCoro::Task<bool> TerminalPaste::keysReachTerminal(Target target) {
    if (!m_platform.displaySession.wayland)
        co_return true;
    std::optional<qint32> focused = co_await processOf(target.screen);
    if (!focused && target.interaction && target.interaction->processIdentifier > 0)
        focused = target.interaction->processIdentifier;
    co_return m_platform.displaySession.xServerKnowsFocusedWindow(target.activeXWindowProcess,
                                                                  focused);
}

QCoro::Task<bool> TerminalPaste::putOnSelections(Paste &paste,
                                                 std::unique_ptr<ClipboardHeadStart> headStart) {
    Pasteboard &clipboard = *m_platform.clipboard;
    PasteboardItem item;
    item.setString(paste.text);
    const bool headStartStands = headStart && headStart->stands();
    if (headStartStands)
        paste.clipboardSnapshot = headStart->snapshot();
    else
        paste.clipboardSnapshot = PasteboardSnapshot(co_await clipboard.pasteboardItems());
    if (!headStartStands || headStart->text() != paste.text) {
        clipboard.clearContents();
        if (!clipboard.writeObjects({item})) {
            paste.clipboardSnapshot.writeBack(clipboard);
            co_return false;
        }
    }
    paste.clipboardChangeCount = clipboard.changeCount();
    if (!paste.target.terminal.pastesPrimary)
        co_return true;
    Pasteboard &primary = *m_platform.primary;
    paste.primarySnapshot = PasteboardSnapshot(co_await primary.pasteboardItems());
    primary.clearContents();
    if (!primary.writeObjects({item})) {
        paste.primarySnapshot->writeBack(primary, QStringLiteral("primary"));
        paste.clipboardSnapshot.writeBack(clipboard);
        co_return false;
    }
    paste.primaryChangeCount = primary.changeCount();
    co_return true;
}

QCoro::Task<bool> TerminalPaste::pressKeys(PasteKeys keys, bool onDesktopKeyboard) {
    bool pressed = false;
    if (onDesktopKeyboard)
        pressed = co_await m_platform.desktopKeyboard->press(keys);
    else
        pressed = m_platform.keySender->sendPasteKeys(keys);
    logKeys(keys, pressed, onDesktopKeyboard);
    co_return pressed;
}

QCoro::Task<std::optional<qint32>>
TerminalPaste::processOf(std::optional<FocusedInputContext> screen) {
    if (!screen)
        return noProcess();
    return m_platform.accessibility->thread().run(
        [element = screen->element] { return element->processIdentifier(); });
}

QCoro::Task<std::optional<QString>> TerminalPaste::roleOf(AccessibilityElementRef element) {
    return m_platform.accessibility->thread().run(
        [element] { return accessibilityValueAs<QString>(element->attributeValue(ax::role)); });
}

QCoro::Task<std::optional<TerminalScreen>>
TerminalPaste::screenText(AccessibilityElementRef screen) {
    return m_platform.accessibility->thread().run(
        [screen] { return TerminalScreen::read(*screen); });
}

QCoro::Task<std::optional<bool>> TerminalPaste::screenShowsPaste(const Paste &paste) {
    if (!paste.target.screen || !paste.screenBefore)
        co_return std::nullopt;
    const AccessibilityElementRef screen = paste.target.screen->element;
    const int reads = qRound(pasteWait / screenReadInterval);
    std::optional<TerminalScreen> last;
    for (int read = 0; read < reads; ++read) {
        co_await m_platform.sleeper(screenReadInterval, CancelToken());
        const std::optional<TerminalScreen> now = co_await screenText(screen);
        if (!now)
            continue;
        last = now;
        if (showsPaste(paste.text, *paste.screenBefore, *now))
            co_return true;
        // A terminal that never asked for the text has pasted nothing.
        if (paste.receipt.tells() && !paste.receipt.taken() &&
            paste.receipt.sinceKeys() >= pasteWait)
            break;
    }
    // The terminal took the text, and what reads it has not yet: the
    // screen cannot tell where it goes.
    if (!last || showsUnreadPaste(paste.text, *last))
        co_return std::nullopt;
    logNotShown(*last, *paste.screenBefore);
    co_return false;
}

QCoro::Task<InsertionResult> TerminalPaste::confirmByRequest(Paste paste) {
    if (!paste.receipt.tells()) {
        // Nothing tells whether the terminal pasted: the text stays on the
        // clipboard for the user.
        logResult(QStringLiteral("result=pastedNeedsAttention | reason=terminal-unseen"));
        co_return InsertionResult::pastedNeedsAttention;
    }
    const bool taken = co_await paste.receipt.waitUntilTaken(pasteWait, m_platform.sleeper);
    logTaken(taken, paste.receipt.sinceKeys());
    if (!taken)
        co_return failKeepingText(paste, QStringLiteral("paste-not-taken"));
    restoreOnceTaken(paste);
    logResult(QStringLiteral("result=pastedNeedsAttention | path=terminal-taken-unseen"));
    co_return InsertionResult::pastedNeedsAttention;
}

InsertionResult TerminalPaste::leaveOnClipboard(const QString &text, const QString &reason) {
    Pasteboard &clipboard = *m_platform.clipboard;
    PasteboardItem item;
    item.setString(text);
    clipboard.clearContents();
    if (!clipboard.writeObjects({item}))
        throw FocusedInputInsertionError(FocusedInputInsertionError::Kind::pasteboardWriteFailed);
    logResult(QStringLiteral("result=insertFailedCopiedToClipboard | reason=") + reason);
    return InsertionResult::insertFailedCopiedToClipboard;
}

InsertionResult TerminalPaste::failKeepingText(const Paste &, const QString &reason) {
    // Both selections keep the text: the notice sends the user to the
    // terminal's own paste, whichever it reads.
    logResult(QStringLiteral("result=insertFailedCopiedToClipboard | reason=") + reason);
    return InsertionResult::insertFailedCopiedToClipboard;
}

void TerminalPaste::restoreOnceTaken(const Paste &paste) {
    // On the application object: the user's clipboard comes back even when
    // the service is gone by then.
    spawn(
        nullptr,
        [clipboard = m_platform.clipboard, clipboardSnapshot = paste.clipboardSnapshot,
         clipboardCount = paste.clipboardChangeCount, primary = m_platform.primary,
         primarySnapshot = paste.primarySnapshot, primaryCount = paste.primaryChangeCount,
         receipt = paste.receipt, sleeper = m_platform.sleeper] {
            return restoreWhenTaken(clipboard, clipboardSnapshot, clipboardCount, primary,
                                    primarySnapshot, primaryCount, receipt, sleeper);
        },
        QStringLiteral("terminal selections restore"));
}

} // namespace tovalit
