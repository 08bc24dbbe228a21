#include "services/text_injection/focused_input_insertion_service.h"

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "platform/key_sender.h"
#include "platform/pasteboard.h"
#include "platform/window_system.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/text_injection/correction_observation.h"
#include "services/text_injection/focused_input_element_search.h"
#include "services/text_injection/focused_input_field_operations.h"
#include "services/text_injection/focused_input_insertion_error.h"
#include "services/text_injection/insertion_preparation.h"
#include "support/app_error.h"
#include "support/gui_thread.h"
#include "support/spawn.h"

#include <QObject>

namespace tovalit {

// Log lines are built in plain functions: GCC 12 miscompiles capturing
// lambdas inside coroutine bodies.
namespace {

constexpr int textPreviewLimit = 240;
constexpr int capturedPreviewLimit = 120;

QString preview(const std::optional<QString> &text, qsizetype limit = textPreviewLimit) {
    return TovalitDebugLogger::preview(text, limit);
}

QString flag(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString pidText(std::optional<qint32> processIdentifier) {
    return processIdentifier ? QString::number(*processIdentifier) : QStringLiteral("<nil>");
}

std::optional<AccessibilityRange> rangeOf(const std::optional<FocusedInputContext> &context) {
    return context ? std::optional<AccessibilityRange>(context->selectedRange) : std::nullopt;
}

void logResult(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.result"), message);
}

void logPath(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.path"), message);
}

void logLiveContextUnavailable(std::optional<qint32> processIdentifier, QString error) {
    TovalitDebugLogger::log(
        QStringLiteral("insert.live-context"), [processIdentifier, error]() -> QString {
            return QStringLiteral("unavailable | pid=") + pidText(processIdentifier) +
                   QStringLiteral(" | error=") + error;
        });
}

void logResolved(std::optional<qint32> processIdentifier, int attempt) {
    TovalitDebugLogger::log(
        QStringLiteral("insert.live-context"), [processIdentifier, attempt]() -> QString {
            return QStringLiteral("resolved | pid=") + pidText(processIdentifier) +
                   QStringLiteral(" | attempt=") + QString::number(attempt);
        });
}

void logStart(bool trusted, QString input, std::optional<FocusedInputContext> live,
              std::optional<ActiveInteractionContext> interactionContext) {
    const std::optional<AccessibilityRange> liveSelection = rangeOf(live);
    const std::optional<QString> liveValue =
        live ? std::optional<QString>(live->currentValue) : std::nullopt;
    std::optional<QString> before, selected, after;
    if (interactionContext) {
        const NaturalFormattingContext &captured = interactionContext->naturalFormattingContext;
        before = captured.surroundingTextBeforeCursor;
        selected = captured.selectedText;
        after = captured.surroundingTextAfterCursor;
    }
    TovalitDebugLogger::log(
        QStringLiteral("insert.start"),
        [trusted, input, liveSelection, liveValue, before, selected, after]() -> QString {
            return QStringLiteral("trusted=") + flag(trusted) + QStringLiteral(" | input=") +
                   preview(input) + QStringLiteral(" | liveSelection=") +
                   TovalitDebugLogger::describe(liveSelection) + QStringLiteral(" | liveValue=") +
                   preview(liveValue) + QStringLiteral(" | capturedBefore=") +
                   preview(before, capturedPreviewLimit) + QStringLiteral(" | capturedSelected=") +
                   preview(selected, capturedPreviewLimit) + QStringLiteral(" | capturedAfter=") +
                   preview(after, capturedPreviewLimit);
        });
}

void logPrepare(PreparationSource source, QString text,
                std::optional<AccessibilityRange> effectiveSelection, bool expanded) {
    TovalitDebugLogger::log(QStringLiteral("insert.prepare"),
                            [source, text, effectiveSelection, expanded]() -> QString {
                                return QStringLiteral("source=") + rawValue(source) +
                                       QStringLiteral(" | effectiveText=") + preview(text) +
                                       QStringLiteral(" | effectiveSelection=") +
                                       TovalitDebugLogger::describe(effectiveSelection) +
                                       QStringLiteral(" | expanded=") + flag(expanded);
                            });
}

void logVerified(QString expected) {
    TovalitDebugLogger::log(QStringLiteral("insert.verify"), [expected]() -> QString {
        return QStringLiteral("paste-verified | expected=") + preview(expected);
    });
}

void logObservedChange(QString current, QString expected) {
    TovalitDebugLogger::log(QStringLiteral("insert.observe"), [current, expected]() -> QString {
        return QStringLiteral("post-paste changed | current=") + preview(current) +
               QStringLiteral(" | expected=") + preview(expected);
    });
}

void logDirectWrite(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.direct"), message);
}

void logUnconfirmedDirectWrite(std::optional<QString> current, QString expected) {
    TovalitDebugLogger::log(QStringLiteral("insert.direct"), [current, expected]() -> QString {
        return QStringLiteral("unconfirmed | current=") + preview(current) +
               QStringLiteral(" | expected=") + preview(expected);
    });
}

void logPasteUnreachable(std::optional<qint32> focused, std::optional<qint32> activeX) {
    TovalitDebugLogger::log(QStringLiteral("insert.paste"), [focused, activeX]() -> QString {
        return QStringLiteral("not-sent | reason=wayland-window | focusedPid=") + pidText(focused) +
               QStringLiteral(" | xActivePid=") + pidText(activeX);
    });
}

// When the keys went out: the desktop's part of a paste begins there.
void logKeys(bool pressed, bool onDesktopKeyboard) {
    TovalitDebugLogger::log(
        QStringLiteral("insert.keys"),
        QStringLiteral("sent=") + flag(pressed) + QStringLiteral(" | via=") +
            (onDesktopKeyboard ? QStringLiteral("desktop-keyboard") : QStringLiteral("x-server")));
}

void logHeadStart(QString text) {
    TovalitDebugLogger::log(QStringLiteral("insert.pasteboard"), [text]() -> QString {
        return QStringLiteral("head-start | text=") + preview(text);
    });
}

void logUnwidened(QString text) {
    TovalitDebugLogger::log(QStringLiteral("insert.prepare"), [text]() -> QString {
        return QStringLiteral("unwidened | reason=select-range-failed | effectiveText=") +
               preview(text);
    });
}

void logObserved(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.observe"), message);
}

PreparedInsertion prepare(const QString &text, const std::optional<FocusedInputContext> &live,
                          const std::optional<ActiveInteractionContext> &interactionContext) {
    if (live)
        return InsertionPreparation::prepareInsertion(text, *live);
    if (interactionContext)
        return InsertionPreparation::prepareInsertion(text,
                                                      interactionContext->naturalFormattingContext);
    return PreparedInsertion{text, std::nullopt, PreparationSource::none};
}

// Whether the capture at the start read a text field: text around its
// caret, or the caret itself.
bool capturedAnEditor(const ActiveInteractionContext &context) {
    const NaturalFormattingContext &captured = context.naturalFormattingContext;
    return captured.surroundingTextBeforeCursor || captured.selectedText ||
           captured.surroundingTextAfterCursor || captured.caretRect;
}

// The field holds `text` once, and right before its caret.
bool endsAtCaretOnce(const QString &text, const FocusedInputContext &field) {
    const AccessibilityRange caret = field.selectedRange;
    const qint64 start = caret.location - text.size();
    return caret.length == 0 && start >= 0 && field.currentValue.mid(start, text.size()) == text &&
           field.currentValue.count(text) == 1;
}

void logPasteTaken(bool taken, double afterKeys) {
    TovalitDebugLogger::log(QStringLiteral("insert.pasteboard"), [taken, afterKeys]() -> QString {
        return (taken ? QStringLiteral("paste taken | afterKeys=")
                      : QStringLiteral("paste not taken | afterKeys=")) +
               QString::number(afterKeys, 'f', 2);
    });
}

TerminalPaste::Target terminalTarget(const Terminal &terminal,
                                     const std::optional<FocusedInputContext> &screen,
                                     const std::optional<ActiveInteractionContext> &interaction,
                                     std::optional<qint32> activeXWindowProcess) {
    return TerminalPaste::Target{terminal, screen, interaction, activeXWindowProcess};
}

QCoro::Task<void> restoreOnceTaken(std::shared_ptr<Pasteboard> pasteboard,
                                   PasteboardSnapshot snapshot, qint64 expectedChangeCount,
                                   PasteReceipt receipt, bool evenIfNeverTaken, Sleeper sleeper) {
    // Put back before the target read it, the user's own clipboard is
    // what it would paste.
    const bool taken =
        co_await receipt.waitUntilTaken(FocusedInputInsertionService::pasteTakenWait, sleeper);
    if (!taken && !evenIfNeverTaken) {
        TovalitDebugLogger::log(QStringLiteral("insert.restore"),
                                QStringLiteral("clipboard kept | reason=not-taken"));
        co_return;
    }
    snapshot.writeBackUnlessChanged(*pasteboard, expectedChangeCount);
}

QCoro::Task<void> restoreIfUnchanged(std::shared_ptr<Pasteboard> pasteboard,
                                     PasteboardSnapshot snapshot, qint64 expectedChangeCount,
                                     double delay, Sleeper sleeper) {
    if (delay != 0)
        co_await sleeper(qMax(delay, 0.0), CancelToken());
    snapshot.writeBackUnlessChanged(*pasteboard, expectedChangeCount);
}

} // namespace

FocusedInputInsertionService::FocusedInputInsertionService(
    std::shared_ptr<AccessibilityClient> accessibility, std::shared_ptr<Pasteboard> pasteboard,
    std::shared_ptr<KeySender> keySender, Sleeper sleeper, MonotonicClock clock,
    DisplaySession displaySession, std::shared_ptr<WindowSystem> windowSystem,
    std::shared_ptr<RemoteDesktopKeyboardAccess> desktopKeyboard,
    std::shared_ptr<Pasteboard> primarySelection)
    : m_accessibility(std::move(accessibility))
    , m_pasteboard(std::move(pasteboard))
    , m_keySender(std::move(keySender))
    , m_sleeper(std::move(sleeper))
    , m_clock(std::move(clock))
    , m_displaySession(displaySession)
    , m_windowSystem(std::move(windowSystem))
    , m_desktopKeyboard(std::move(desktopKeyboard), m_accessibility, m_pasteboard, m_sleeper)
    , m_terminals(TerminalPaste::Platform{
          m_accessibility, m_pasteboard, std::move(primarySelection), m_keySender,
          &m_desktopKeyboard, m_sleeper, m_clock, m_displaySession, m_windowSystem})
    , m_watchContext(std::make_unique<QObject>()) {}

FocusedInputInsertionService::~FocusedInputInsertionService() {
    m_lifetime.cancel();
}

QCoro::Task<bool> FocusedInputInsertionService::accessibilityTrusted() {
    return m_accessibility->thread().run(
        [client = m_accessibility] { return client->isProcessTrusted(); });
}

QCoro::Task<InsertionResult>
FocusedInputInsertionService::insert(QString text,
                                     std::optional<ActiveInteractionContext> interactionContext,
                                     ObservedInsertionEditCallback onObservedEditEvent,
                                     std::unique_ptr<ClipboardHeadStart> headStart) {
    Q_ASSERT(isGuiThread());
    if (text.isEmpty())
        co_return InsertionResult::copiedToClipboard;
    const AsyncMutex::Guard oneAtATime = co_await m_insertions.lock();

    const bool trusted = co_await accessibilityTrusted();
    std::optional<FocusedInputContext> live;
    std::optional<UnplacedSelectionField> unplaced;
    std::optional<qint32> activeXWindowProcess;
    if (trusted) {
        std::optional<qint32> processIdentifier;
        if (interactionContext)
            processIdentifier = interactionContext->processIdentifier;
        std::optional<QString> failure;
        // The search runs on the accessibility thread; the X server is asked
        // meanwhile, on this one.
        // A busy browser may tell nothing of the editor the capture read a
        // moment ago: it is looked for a while longer before the paste goes
        // out with nothing to check it by.
        const double lookAgainFor =
            interactionContext && capturedAnEditor(*interactionContext) ? liveContextDeadline : 0;
        QCoro::Task<FocusedInputContext> search = focusedInputContextWithRetries(
            processIdentifier, liveContextAttempts, liveContextRetryDelay, lookAgainFor);
        activeXWindowProcess = activeXWindowProcessInWaylandSession();
        try {
            live = co_await std::move(search);
        } catch (const std::exception &error) {
            failure = describeException(error);
        }
        if (failure)
            logLiveContextUnavailable(processIdentifier, *failure);
        if (!live && processIdentifier)
            unplaced = co_await unplacedSelectionField(*processIdentifier);
    }

    const PreparedInsertion prepared = prepare(text, live, interactionContext);
    Delivery delivery;
    delivery.text = prepared.text;
    delivery.dictated = text;
    delivery.live = live;
    delivery.effective = prepared.context ? prepared.context : live;
    delivery.unplaced = unplaced;
    delivery.interactionContext = interactionContext;
    delivery.onObservedEditEvent = onObservedEditEvent;
    const bool widened = rangeOf(delivery.effective) != rangeOf(live);

    logStart(trusted, text, live, interactionContext);
    logPrepare(prepared.source, delivery.text, rangeOf(delivery.effective), widened);

    // A terminal takes text through its own paste alone.
    if (trusted) {
        const std::optional<Terminal> terminal =
            co_await m_terminals.focusedTerminal(live, interactionContext);
        if (terminal) {
            // Named: GCC 12 destroys a braced temporary of an awaited call
            // twice.
            TerminalPaste::Target target =
                terminalTarget(*terminal, live, interactionContext, activeXWindowProcess);
            co_return co_await m_terminals.deliver(text, std::move(target), std::move(headStart),
                                                   m_lifetime);
        }
    }

    if (delivery.text.isEmpty()) {
        logResult(QStringLiteral("result=insertedDirectly | reason=empty-effective-text"));
        co_return InsertionResult::insertedDirectly;
    }

    if (!trusted) {
        // The user pastes it themselves; nothing of theirs is kept.
        writeToPasteboard(delivery.text);
        logResult(QStringLiteral(
            "result=insertFailedCopiedToClipboard | reason=accessibility-untrusted"));
        co_return InsertionResult::insertFailedCopiedToClipboard;
    }

    if (widened && delivery.effective) {
        const bool written = co_await directInsert(delivery.text, delivery.effective);
        if (written)
            co_return finishDirectWrite(
                delivery, false, QStringLiteral("directInsert-expanded-replacement"),
                QStringLiteral("result=insertedDirectly | path=direct-expanded"), std::nullopt);
    }

    std::optional<qint32> contextProcess;
    if (interactionContext)
        contextProcess = interactionContext->processIdentifier;
    const bool reachable = co_await pasteReachesFocusedWindow(delivery.effective, contextProcess,
                                                              activeXWindowProcess);
    if (!reachable) {
        const AccessibilityElementRef field =
            delivery.effective ? delivery.effective->element : nullptr;
        const bool lent = co_await m_desktopKeyboard.ready(field);
        if (!lent) {
            const bool directWriteTried = widened && delivery.effective.has_value();
            co_return co_await deliverWithoutPaste(std::move(delivery), directWriteTried);
        }
        delivery.onDesktopKeyboard = true;
    }

    // A head start the clipboard still holds has kept the user's clipboard
    // already, and written the text unless preparing it changed it.
    const bool headStartStands = headStart && headStart->stands();
    if (headStartStands) {
        headStart->takeOver();
        delivery.snapshot = headStart->snapshot();
    } else {
        delivery.snapshot = co_await capturePasteboardSnapshot();
    }
    bool writeFailed = false;
    if (!headStartStands || headStart->text() != delivery.text) {
        try {
            writeToPasteboard(delivery.text);
        } catch (const FocusedInputInsertionError &) {
            writeFailed = true;
        }
    }
    if (writeFailed) {
        restorePasteboardImmediately(delivery.snapshot);
        const bool written = co_await directInsert(delivery.text, delivery.effective);
        if (written)
            co_return finishDirectWrite(
                delivery, false, QStringLiteral("directInsert-after-pasteboard-write-failure"),
                QStringLiteral("result=insertedDirectly | path=direct-after-write-failure"),
                std::nullopt);
        throw FocusedInputInsertionError(FocusedInputInsertionError::Kind::pasteboardWriteFailed);
    }
    delivery.changeCount = m_pasteboard->changeCount();
    co_return co_await pasteAndConfirm(std::move(delivery));
}

QCoro::Task<std::unique_ptr<ClipboardHeadStart>>
FocusedInputInsertionService::startClipboardHeadStart(QString text) {
    Q_ASSERT(isGuiThread());
    if (text.isEmpty() || !m_displaySession.wayland || !m_desktopKeyboard.isLent())
        co_return std::unique_ptr<ClipboardHeadStart>();
    // An insertion under way keeps the clipboard until its paste is out.
    const AsyncMutex::Guard oneAtATime = co_await m_insertions.lock();
    const PasteboardSnapshot snapshot = co_await capturePasteboardSnapshot();
    try {
        writeToPasteboard(text);
    } catch (const FocusedInputInsertionError &) {
        TovalitDebugLogger::log(QStringLiteral("insert.pasteboard"),
                                QStringLiteral("head-start not written | reason=write-refused"));
        restorePasteboardImmediately(snapshot);
        co_return std::unique_ptr<ClipboardHeadStart>();
    }
    logHeadStart(text);
    co_return std::make_unique<ClipboardHeadStart>(m_pasteboard, text, snapshot,
                                                   m_pasteboard->changeCount());
}

// A widened range that could not be written directly is selected, so the
// paste replaces it; where it cannot be, the text goes in as dictated.
// Nothing once the paste may go ahead.
QCoro::Task<std::optional<InsertionResult>>
FocusedInputInsertionService::selectWidenedRange(Delivery &delivery) {
    const std::optional<FocusedInputContext> live = delivery.live;
    const std::optional<FocusedInputContext> effective = delivery.effective;
    if (!live || !effective || live->selectedRange == effective->selectedRange)
        co_return std::nullopt;
    if (co_await selectionShown(effective->selectedRange, effective->element))
        co_return std::nullopt;
    const bool written = co_await directInsert(delivery.text, effective);
    if (written)
        co_return finishDirectWrite(
            delivery, true, QStringLiteral("directInsert-after-select-range-failed"),
            QStringLiteral("result=insertedDirectly | path=direct-after-select-range-failed"),
            std::nullopt);
    if (!unwiden(delivery)) {
        logResult(
            QStringLiteral("result=insertFailedCopiedToClipboard | reason=select-range-failed"));
        co_return InsertionResult::insertFailedCopiedToClipboard;
    }
    // A selection the editor shows late must not take the words the
    // unwidened text leaves in place.
    co_await setSelectedRange(live->selectedRange, live->element);
    co_return std::nullopt;
}

QCoro::Task<InsertionResult> FocusedInputInsertionService::pasteAndConfirm(Delivery delivery) {
    const std::optional<FocusedInputContext> &effective = delivery.effective;

    if (const std::optional<InsertionResult> ended = co_await selectWidenedRange(delivery))
        co_return *ended;

    co_await m_sleeper(pasteKeyDelay, m_lifetime);
    bool pasted = false;
    if (!m_lifetime.isCancelled()) {
        const std::optional<qint32> target = co_await pasteTarget(delivery);
        delivery.receipt = PasteReceipt(m_pasteboard, target, delivery.onDesktopKeyboard, m_clock);
        pasted = co_await pressPasteShortcut(delivery.onDesktopKeyboard);
        delivery.keysSent = pasted;
    }
    if (!pasted) {
        const bool written = co_await directInsert(delivery.text, effective);
        if (written)
            co_return finishDirectWrite(
                delivery, true, QStringLiteral("directInsert-after-paste-shortcut-failure"),
                QStringLiteral(
                    "result=insertedDirectly | path=direct-after-paste-shortcut-failure"),
                std::nullopt);
        logResult(
            QStringLiteral("result=insertFailedCopiedToClipboard | reason=paste-shortcut-failed"));
        co_return InsertionResult::insertFailedCopiedToClipboard;
    }

    if (!effective && delivery.unplaced) {
        co_await m_sleeper(pasteSettleDelay, CancelToken());
        delivery.effective = co_await replacedUnplacedSelection(
            delivery.text, *delivery.unplaced, delivery.interactionContext->processIdentifier);
        if (delivery.effective)
            co_return finishVerifiedPaste(delivery, FocusedInputFieldOperations::expectedValue(
                                                        delivery.text, *delivery.effective));
    }
    if (!delivery.effective)
        co_return co_await finishUncheckedPaste(
            std::move(delivery),
            QStringLiteral("result=pastedNeedsAttention | reason=no-effective-context"),
            std::nullopt);

    co_await m_sleeper(pasteSettleDelay, CancelToken());
    const QString expected = FocusedInputFieldOperations::expectedValue(delivery.text, *effective);
    const std::optional<QString> shown = co_await pasteVerified(delivery.text, *effective);
    if (shown)
        co_return finishVerifiedPaste(delivery, *shown);
    co_return co_await confirmUnverifiedPaste(std::move(delivery), expected);
}

bool FocusedInputInsertionService::unwiden(Delivery &delivery) {
    // The stretch the text was to re-take stays as it is: the dictation
    // goes in at the caret as it was said, rather than nowhere.
    try {
        if (delivery.dictated != delivery.text)
            writeToPasteboard(delivery.dictated);
    } catch (const FocusedInputInsertionError &) {
        return false;
    }
    delivery.changeCount = m_pasteboard->changeCount();
    delivery.text = delivery.dictated;
    delivery.effective = delivery.live;
    logUnwidened(delivery.text);
    return true;
}

QCoro::Task<std::optional<FocusedInputContext>>
FocusedInputInsertionService::replacedUnplacedSelection(QString text, UnplacedSelectionField field,
                                                        qint32 processID) {
    // A browser shows a paste over many paragraphs late, and passes through
    // other texts on the way: the editor is read until the paste shows or
    // its text holds still on something else.
    std::optional<QString> last;
    int stillReads = 0;
    for (int read = 0; read < latePasteReads && stillReads < changeSettledReads; ++read) {
        if (read > 0)
            co_await m_sleeper(postPasteReadInterval, CancelToken());
        const FocusedInputFieldOperations::SelectionPaste paste =
            co_await pasteOverUnplacedSelection(text, field);
        if (paste.before)
            co_return paste.before;
        if (!paste.value)
            break;
        const bool changed = *paste.value != field.valueBefore;
        // The editor as read before may no longer hold the caret's
        // paragraph (a selection into the next one joins the two).
        if (auto fresh = co_await pastedBeforeFreshCaret(processID, text)) {
            logObserved(QStringLiteral("paste over an untold selection shown at the caret"));
            co_return fresh;
        }
        stillReads = changed && paste.value == last ? stillReads + 1 : 0;
        last = paste.value;
    }
    logObserved(QStringLiteral("paste over an untold selection not seen | current=") +
                preview(last));
    co_return std::nullopt;
}

QCoro::Task<std::optional<FocusedInputContext>>
FocusedInputInsertionService::pastedBeforeFreshCaret(qint32 processID, QString text) {
    return m_accessibility->thread().run([client = m_accessibility, processID, text] {
        return FocusedInputFieldOperations::pastedBeforeFreshCaret(*client, processID, text);
    });
}

QCoro::Task<std::optional<UnplacedSelectionField>>
FocusedInputInsertionService::unplacedSelectionField(qint32 processID) {
    return m_accessibility->thread().run([client = m_accessibility, processID] {
        return FocusedInputElementSearch::unplacedSelectionField(*client, processID);
    });
}

QCoro::Task<FocusedInputFieldOperations::SelectionPaste>
FocusedInputInsertionService::pasteOverUnplacedSelection(QString text,
                                                         UnplacedSelectionField field) {
    return m_accessibility->thread().run([text, field] {
        return FocusedInputFieldOperations::pasteOverUnplacedSelection(text, field);
    });
}

std::optional<qint32> FocusedInputInsertionService::activeXWindowProcessInWaylandSession() {
    if (!m_displaySession.wayland || !m_windowSystem)
        return std::nullopt;
    if (const auto active = m_windowSystem->frontmostApplication())
        return active->processIdentifier;
    return std::nullopt;
}

QCoro::Task<bool> FocusedInputInsertionService::pasteReachesFocusedWindow(
    std::optional<FocusedInputContext> effective, std::optional<qint32> contextProcess,
    std::optional<qint32> activeXWindowProcess) {
    if (!m_displaySession.wayland)
        co_return true;
    std::optional<qint32> focused;
    if (effective)
        focused = co_await processIdentifier(effective->element);
    if (!focused)
        focused = contextProcess;
    const bool reaches = m_displaySession.xServerKnowsFocusedWindow(activeXWindowProcess, focused);
    if (!reaches)
        logPasteUnreachable(focused, activeXWindowProcess);
    co_return reaches;
}

QCoro::Task<InsertionResult>
FocusedInputInsertionService::deliverWithoutPaste(Delivery delivery, bool directWriteTried) {
    if (!directWriteTried) {
        const bool written = co_await directInsert(delivery.text, delivery.effective);
        if (written)
            co_return finishDirectWrite(
                delivery, false, QStringLiteral("directInsert-wayland-window"),
                QStringLiteral("result=insertedDirectly | path=direct-wayland-window"),
                std::nullopt);
    }
    // No paste reaches the window: the user pastes it, and nothing of
    // theirs comes back over it.
    writeToPasteboard(delivery.text);
    logResult(
        QStringLiteral("result=insertFailedCopiedToClipboard | reason=wayland-window-no-paste"));
    co_return InsertionResult::insertFailedCopiedToClipboard;
}

QCoro::Task<InsertionResult>
FocusedInputInsertionService::confirmUnverifiedPaste(Delivery delivery, QString expected) {
    const FocusedInputContext effective = *delivery.effective;
    const PostPasteObservationState state = co_await inspectPostPasteObservationState(effective);
    using Kind = PostPasteObservationState::Kind;

    if (state.kind == Kind::changed) {
        const std::optional<QString> shown =
            co_await shownAsExpected(state.value, delivery.text, effective);
        if (shown)
            co_return finishVerifiedPaste(delivery, *shown);
        logObservedChange(state.value, expected);
        if (FocusedInputFieldOperations::sameButForFinalBreak(state.value, expected))
            co_return finishChangedPaste(delivery, state.value);
        // A change the program made before it took the paste is not the
        // paste: the field is left as it is, and the text on the clipboard.
        if (delivery.receipt.tells() &&
            !co_await delivery.receipt.waitUntilTaken(pasteTakenWait, m_sleeper)) {
            logPasteTaken(false, delivery.receipt.sinceKeys());
            logResult(
                QStringLiteral("result=insertFailedCopiedToClipboard | reason=paste-not-taken"));
            co_return InsertionResult::insertFailedCopiedToClipboard;
        }
        const bool written = co_await directInsert(delivery.text, effective);
        if (written)
            co_return finishDirectWrite(
                delivery, true, QStringLiteral("directInsert-after-unexpected-paste-content"),
                QStringLiteral(
                    "result=insertedDirectly | path=direct-after-unexpected-paste-content"),
                expected);
        co_return co_await settledChange(std::move(delivery), expected, state.value);
    }

    if (state.kind == Kind::unreadable) {
        logObserved(QStringLiteral("post-paste unreadable"));
        co_return co_await finishUncheckedPaste(
            std::move(delivery), QStringLiteral("result=pastedNeedsAttention | path=unreadable"),
            expected);
    }

    logObserved(QStringLiteral("post-paste unchanged"));
    if (delivery.receipt.tells())
        co_return co_await unchangedPasteSeenByClipboard(std::move(delivery), expected);
    // Keys on the keyboard the desktop lends reach the window through its
    // compositor, which hands them over late when it is busy: the paste is
    // waited for before a write could put the text in a second time.
    if (delivery.onDesktopKeyboard) {
        const std::optional<InsertionResult> late = co_await watchForPaste(delivery, expected);
        if (late)
            co_return *late;
    }
    bool untouched = false;
    try {
        untouched = co_await contextStillMatchesOriginalState(effective);
    } catch (const std::exception &) {
    }
    if (untouched) {
        const bool written = co_await directInsert(delivery.text, effective);
        if (written)
            co_return finishDirectWrite(
                delivery, true, QStringLiteral("directInsert-after-unchanged-paste"),
                QStringLiteral("result=insertedDirectly | path=direct-after-unchanged-paste"),
                expected);
    }
    if (!delivery.onDesktopKeyboard) {
        const std::optional<InsertionResult> late = co_await latePaste(delivery, expected);
        if (late)
            co_return *late;
    }
    logResult(QStringLiteral("result=insertFailedCopiedToClipboard | reason=exhausted"));
    co_return InsertionResult::insertFailedCopiedToClipboard;
}

QCoro::Task<InsertionResult>
FocusedInputInsertionService::finishUncheckedPaste(Delivery delivery, QString resultLine,
                                                   std::optional<QString> observedValue) {
    if (!delivery.receipt.tells()) {
        // Nothing tells whether the paste went anywhere: without a field
        // the text stays on the clipboard for the user.
        if (!delivery.effective) {
            logResult(resultLine);
            co_return InsertionResult::pastedNeedsAttention;
        }
        co_return finishPaste(delivery, InsertionResult::pastedNeedsAttention, resultLine,
                              observedValue.value_or(QString()));
    }
    const bool taken = co_await delivery.receipt.waitUntilTaken(pasteTakenWait, m_sleeper);
    logPasteTaken(taken, delivery.receipt.sinceKeys());
    if (!taken) {
        logResult(QStringLiteral("result=insertFailedCopiedToClipboard | reason=paste-not-taken"));
        co_return InsertionResult::insertFailedCopiedToClipboard;
    }
    conditionallyRestorePasteboard(delivery.snapshot, delivery.changeCount, 0);
    if (delivery.effective && observedValue)
        startCorrectionObservationIfNeeded(*delivery.effective, delivery.text, observedValue,
                                           delivery.interactionContext,
                                           delivery.onObservedEditEvent);
    logResult(resultLine);
    co_return InsertionResult::pastedNeedsAttention;
}

QCoro::Task<InsertionResult>
FocusedInputInsertionService::unchangedPasteSeenByClipboard(Delivery delivery, QString expected) {
    const bool taken = co_await delivery.receipt.waitUntilTaken(pasteTakenWait, m_sleeper);
    logPasteTaken(taken, delivery.receipt.sinceKeys());
    if (taken) {
        // The program has the text: it shows late, or where the program
        // moved the focus.
        if (const auto moved = co_await pasteInNewlyFocusedField(delivery))
            co_return *moved;
        if (const auto late = co_await watchForPaste(delivery, expected))
            co_return *late;
        if (const auto moved = co_await pasteInNewlyFocusedField(delivery))
            co_return *moved;
        // A read-only field's program reads the clipboard all the same, and
        // pastes nothing: the text stays for the user.
        if (co_await readOnly(delivery.effective->element)) {
            logResult(
                QStringLiteral("result=insertFailedCopiedToClipboard | reason=read-only-field"));
            co_return InsertionResult::insertFailedCopiedToClipboard;
        }
        co_return finishPaste(delivery, InsertionResult::pastedNeedsAttention,
                              QStringLiteral("result=pastedNeedsAttention | path=taken-unseen"),
                              expected);
    }
    // The keys brought no paste: a field as it was takes the text
    // directly, where it can.
    bool untouched = false;
    try {
        untouched = co_await contextStillMatchesOriginalState(*delivery.effective);
    } catch (const std::exception &) {
    }
    if (untouched) {
        const bool written = co_await directInsert(delivery.text, delivery.effective);
        if (written)
            co_return finishDirectWrite(
                delivery, true, QStringLiteral("directInsert-after-unchanged-paste"),
                QStringLiteral("result=insertedDirectly | path=direct-after-unchanged-paste"),
                expected);
    }
    logResult(QStringLiteral("result=insertFailedCopiedToClipboard | reason=paste-not-taken"));
    co_return InsertionResult::insertFailedCopiedToClipboard;
}

QCoro::Task<std::optional<InsertionResult>>
FocusedInputInsertionService::pasteInNewlyFocusedField(Delivery delivery) {
    std::optional<qint32> processID = co_await processIdentifier(delivery.effective->element);
    if (!processID && delivery.interactionContext)
        processID = delivery.interactionContext->processIdentifier;
    if (!processID)
        co_return std::nullopt;
    const std::optional<FocusedInputContext> now = co_await focusedFieldOf(*processID);
    if (!now || now->element->identity() == delivery.effective->element->identity())
        co_return std::nullopt;
    if (!endsAtCaretOnce(delivery.text, *now))
        co_return std::nullopt;
    logObserved(QStringLiteral("paste shown in the field the focus moved to"));
    delivery.effective = now;
    co_return finishPaste(delivery, InsertionResult::pastedFromClipboard,
                          QStringLiteral("result=pastedFromClipboard | path=focus-moved"),
                          now->currentValue);
}

QCoro::Task<std::optional<FocusedInputContext>>
FocusedInputInsertionService::focusedFieldOf(qint32 processID) {
    try {
        co_return co_await focusedInputContext(processID);
    } catch (const std::exception &) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::optional<qint32>> FocusedInputInsertionService::pasteTarget(Delivery delivery) {
    if (delivery.effective) {
        if (const std::optional<qint32> owner =
                co_await processIdentifier(delivery.effective->element))
            co_return owner;
    }
    if (delivery.interactionContext && delivery.interactionContext->processIdentifier > 0)
        co_return delivery.interactionContext->processIdentifier;
    if (m_windowSystem) {
        if (const auto front = m_windowSystem->frontmostApplication())
            co_return front->processIdentifier;
    }
    co_return std::nullopt;
}

QCoro::Task<std::optional<InsertionResult>>
FocusedInputInsertionService::latePaste(Delivery delivery, QString expected) {
    // A field whose text takes no write of its own (a web page's rich-text
    // editor) has the paste as its only road, and a browser shows a paste
    // over thousands of paragraphs a second or more after the keys: the
    // field is watched that much longer before the paste counts as lost,
    // with the user's clipboard.
    const AccessibilityElementRef element = delivery.effective->element;
    if (co_await valueSettable(element))
        co_return std::nullopt;
    const std::optional<InsertionResult> late = co_await watchForPaste(delivery, expected);
    co_return late;
}

QCoro::Task<std::optional<InsertionResult>>
FocusedInputInsertionService::watchForPaste(Delivery delivery, QString expected) {
    const FocusedInputContext effective = *delivery.effective;
    const std::optional<qint32> processID = co_await processIdentifier(effective.element);
    for (int read = 0; read < latePasteReads; ++read) {
        co_await m_sleeper(postPasteReadInterval, CancelToken());
        const std::optional<QString> value =
            co_await observedStringValue(effective.element, processID);
        if (value && *value != effective.currentValue) {
            const std::optional<QString> shown =
                co_await shownAsExpected(*value, delivery.text, effective);
            if (shown)
                co_return finishVerifiedPaste(delivery, *shown);
            logObservedChange(*value, expected);
            if (FocusedInputFieldOperations::sameButForFinalBreak(*value, expected))
                co_return finishChangedPaste(delivery, *value);
            co_return co_await settledChange(std::move(delivery), expected, *value);
        }
    }
    co_return std::nullopt;
}

QCoro::Task<InsertionResult>
FocusedInputInsertionService::settledChange(Delivery delivery, QString expected, QString changed) {
    // A browser's editor passes through other texts while it applies a
    // paste over many blocks (the blocks taken out, then the text put in
    // and the blocks on either side joined): a change that is not the
    // expected text is read again until it is, or until it holds still,
    // before it counts as the page's own reshaping of the paste.
    const FocusedInputContext effective = *delivery.effective;
    const std::optional<qint32> processID = co_await processIdentifier(effective.element);
    const QString first = changed;
    int stillReads = 0;
    for (int read = 0; read < latePasteReads && stillReads < changeSettledReads; ++read) {
        co_await m_sleeper(postPasteReadInterval, CancelToken());
        const std::optional<QString> value =
            co_await observedStringValue(effective.element, processID);
        if (!value)
            break;
        const std::optional<QString> shown =
            co_await shownAsExpected(*value, delivery.text, effective);
        if (shown)
            co_return finishVerifiedPaste(delivery, *shown);
        stillReads = *value == changed ? stillReads + 1 : 0;
        changed = *value;
    }
    if (changed != first)
        logObservedChange(changed, expected);
    co_return finishChangedPaste(delivery, changed);
}

InsertionResult FocusedInputInsertionService::finishChangedPaste(const Delivery &delivery,
                                                                 const QString &observed) {
    return finishPaste(delivery, InsertionResult::pastedFromClipboard,
                       QStringLiteral("result=pastedFromClipboard | path=changed"), observed);
}

InsertionResult
FocusedInputInsertionService::finishDirectWrite(const Delivery &delivery, bool restoreNow,
                                                const QString &path, const QString &resultLine,
                                                const std::optional<QString> &observedValue) {
    // Keys that went out may still be handled: the user's clipboard comes
    // back only once they were, or could no longer be.
    if (restoreNow && delivery.keysSent && delivery.receipt.tells())
        restoreAfterPaste(delivery, true);
    else if (restoreNow)
        conditionallyRestorePasteboard(delivery.snapshot, delivery.changeCount, 0);
    logPath(path);
    startCorrectionObservationIfNeeded(*delivery.effective, delivery.text, observedValue,
                                       delivery.interactionContext, delivery.onObservedEditEvent);
    logResult(resultLine);
    return InsertionResult::insertedDirectly;
}

InsertionResult FocusedInputInsertionService::finishPaste(const Delivery &delivery,
                                                          InsertionResult result,
                                                          const QString &resultLine,
                                                          const QString &observedValue) {
    restoreAfterPaste(delivery, true);
    startCorrectionObservationIfNeeded(*delivery.effective, delivery.text, observedValue,
                                       delivery.interactionContext, delivery.onObservedEditEvent);
    logResult(resultLine);
    return result;
}

// --- The focused input -------------------------------------------------------

QCoro::Task<FocusedInputContext> FocusedInputInsertionService::focusedInputContextWithRetries(
    std::optional<qint32> expectedProcessID, int maxAttempts, double retryDelay,
    double lookAgainFor) {
    std::exception_ptr lastError;
    const double started = m_clock();
    // The waits between the reads count too: a clock that does not move
    // while we sleep (a stand-in, a suspended machine) still ends the look.
    double slept = 0;
    for (int attempt = 1;; ++attempt) {
        std::optional<FocusedInputContext> context;
        try {
            context = co_await focusedInputContext(expectedProcessID);
        } catch (const FocusedInputInsertionError &) {
            lastError = std::current_exception();
        }
        if (context) {
            if (attempt >= 2)
                logResolved(expectedProcessID, attempt);
            co_return std::move(*context);
        }
        if (attempt >= maxAttempts && qMax(m_clock() - started, slept) >= lookAgainFor)
            break;
        // An editor that says it holds a selection it cannot place was
        // found: nothing to wait for.
        if (attempt == maxAttempts && expectedProcessID) {
            const std::optional<UnplacedSelectionField> unplaced =
                co_await unplacedSelectionField(*expectedProcessID);
            if (unplaced)
                break;
        }
        co_await m_sleeper(qMax(retryDelay, 0.0), CancelToken());
        slept += qMax(retryDelay, 0.0);
    }
    co_await logSearchFailure(expectedProcessID);
    if (lastError)
        std::rethrow_exception(lastError);
    throw FocusedInputInsertionError(FocusedInputInsertionError::Kind::focusedElementUnavailable);
}

QCoro::Task<FocusedInputContext>
FocusedInputInsertionService::focusedInputContext(std::optional<qint32> expectedProcessID) {
    return m_accessibility->thread().run([client = m_accessibility, expectedProcessID] {
        return FocusedInputElementSearch::focusedInputContext(*client, expectedProcessID);
    });
}

QCoro::Task<void>
FocusedInputInsertionService::logSearchFailure(std::optional<qint32> expectedProcessID) {
    return m_accessibility->thread().run([client = m_accessibility, expectedProcessID] {
        FocusedInputElementSearch::logSearchFailure(*client, expectedProcessID);
    });
}

QCoro::Task<bool> FocusedInputInsertionService::setSelectedRange(AccessibilityRange range,
                                                                 AccessibilityElementRef on) {
    return m_accessibility->thread().run(
        [range, on] { return FocusedInputFieldOperations::setSelectedRange(range, *on); });
}

QCoro::Task<AccessibilityRange>
FocusedInputInsertionService::selectedRange(AccessibilityElementRef of) {
    return m_accessibility->thread().run(
        [of] { return FocusedInputElementSearch::selectedRange(*of); });
}

QCoro::Task<bool> FocusedInputInsertionService::selectionShown(AccessibilityRange range,
                                                               AccessibilityElementRef on) {
    if (!co_await setSelectedRange(range, on))
        co_return false;
    for (int read = 0; read < selectionShownReads; ++read) {
        if (read > 0)
            co_await m_sleeper(selectionShownReadInterval, CancelToken());
        if (co_await selectedRange(on) == range)
            co_return true;
    }
    co_return false;
}

QCoro::Task<std::optional<QString>>
FocusedInputInsertionService::pastedValue(QString text, FocusedInputContext context) {
    return m_accessibility->thread().run(
        [text, context] { return FocusedInputFieldOperations::pastedValue(text, context); });
}

QCoro::Task<std::optional<QString>>
FocusedInputInsertionService::observedStringValue(AccessibilityElementRef element,
                                                  std::optional<qint32> processID) {
    return m_accessibility->thread().run([client = m_accessibility, element, processID] {
        return FocusedInputFieldOperations::observedStringValue(*client, *element, processID);
    });
}

QCoro::Task<std::optional<QString>>
FocusedInputInsertionService::pasteVerified(QString text, FocusedInputContext context) {
    // A read that fails counts as a paste not seen.
    try {
        co_return co_await pastedValue(std::move(text), std::move(context));
    } catch (const std::exception &) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::optional<QString>>
FocusedInputInsertionService::shownAsExpected(QString value, QString text,
                                              FocusedInputContext context) {
    // A browser applying a large paste shows it between the check and the
    // read after it: what then reads as expected is checked again, caret
    // and all, rather than reported as an unexplained change.
    if (!FocusedInputFieldOperations::mayShowPaste(value, text, context))
        co_return std::nullopt;
    co_return co_await pasteVerified(std::move(text), std::move(context));
}

InsertionResult FocusedInputInsertionService::finishVerifiedPaste(const Delivery &delivery,
                                                                  const QString &shown) {
    logVerified(shown);
    return finishPaste(delivery, InsertionResult::pastedFromClipboard,
                       QStringLiteral("result=pastedFromClipboard | path=verified"), shown);
}

QCoro::Task<bool> FocusedInputInsertionService::readOnly(AccessibilityElementRef element) {
    return m_accessibility->thread().run([element] {
        return !element->isAttributeSettable(ax::value) &&
               accessibilityValueAs<QString>(element->attributeValue(ax::pastesOnly)) !=
                   QStringLiteral("true");
    });
}

QCoro::Task<bool> FocusedInputInsertionService::valueSettable(AccessibilityElementRef element) {
    return m_accessibility->thread().run(
        [element] { return element->isAttributeSettable(ax::value); });
}

QCoro::Task<std::optional<qint32>>
FocusedInputInsertionService::processIdentifier(AccessibilityElementRef element) {
    return m_accessibility->thread().run(
        [element] { return FocusedInputFieldOperations::processIdentifier(*element); });
}

QCoro::Task<PostPasteObservationState>
FocusedInputInsertionService::inspectPostPasteObservationState(FocusedInputContext context) {
    const std::optional<qint32> processID = co_await processIdentifier(context.element);
    PostPasteObservationState state;
    for (int read = 1; read <= postPasteReads; ++read) {
        if (read > 1)
            co_await m_sleeper(postPasteReadInterval, CancelToken());
        const std::optional<QString> value =
            co_await observedStringValue(context.element, processID);
        state = FocusedInputFieldOperations::postPasteObservationState(context.currentValue, value);
        if (state.kind == PostPasteObservationState::Kind::changed)
            break;
    }
    co_return state;
}

QCoro::Task<bool>
FocusedInputInsertionService::contextStillMatchesOriginalState(FocusedInputContext context) {
    return m_accessibility->thread().run([context] {
        return FocusedInputFieldOperations::contextStillMatchesOriginalState(context);
    });
}

QCoro::Task<bool>
FocusedInputInsertionService::directInsert(QString text,
                                           std::optional<FocusedInputContext> context) {
    if (!context)
        co_return false;
    using Outcome = FocusedInputFieldOperations::DirectWrite::Outcome;
    const FocusedInputFieldOperations::DirectWrite write = co_await writeValue(text, *context);
    if (write.outcome == Outcome::notEditable)
        logDirectWrite(QStringLiteral("not-editable"));
    if (write.outcome != Outcome::sent)
        co_return false;
    // The bus answers "done" for a read-only field too, and a length limit
    // may have cut the text: it counts once the field shows it.
    const std::optional<qint32> processID = co_await processIdentifier(context->element);
    std::optional<QString> current;
    for (int read = 1; read <= directWriteReads; ++read) {
        if (read > 1)
            co_await m_sleeper(directWriteReadInterval, CancelToken());
        current = co_await observedStringValue(context->element, processID);
        if (current == write.value) {
            co_await placeCaretAfter(text, *context);
            co_return true;
        }
    }
    logUnconfirmedDirectWrite(current, write.value);
    co_return false;
}

QCoro::Task<FocusedInputFieldOperations::DirectWrite>
FocusedInputInsertionService::writeValue(QString text, FocusedInputContext context) {
    return m_accessibility->thread().run(
        [text, context] { return FocusedInputFieldOperations::writeValue(text, context); });
}

QCoro::Task<void> FocusedInputInsertionService::placeCaretAfter(QString text,
                                                                FocusedInputContext context) {
    return m_accessibility->thread().run(
        [text, context] { FocusedInputFieldOperations::placeCaretAfter(text, context); });
}

// --- Clipboard and keys ----------------------------------------------------------

QCoro::Task<PasteboardSnapshot> FocusedInputInsertionService::capturePasteboardSnapshot() {
    const QList<PasteboardItem> items = co_await m_pasteboard->pasteboardItems();
    // What the restore will not put back, and why.
    QStringList skipped;
    for (const PasteboardItem &item : items) {
        for (const PasteboardRepresentation &representation : item.representations) {
            if (!representation.data)
                skipped.append(representation.type + QStringLiteral(" (") +
                               (representation.missingReason.isEmpty()
                                    ? QStringLiteral("unreadable")
                                    : representation.missingReason) +
                               QLatin1Char(')'));
        }
    }
    if (!skipped.isEmpty())
        TovalitDebugLogger::log(QStringLiteral("insert.pasteboard"),
                                QStringLiteral("snapshot skipped=") +
                                    skipped.join(QStringLiteral(", ")));
    co_return PasteboardSnapshot(items);
}

void FocusedInputInsertionService::restorePasteboardImmediately(
    const PasteboardSnapshot &snapshot) {
    snapshot.writeBack(*m_pasteboard);
}

void FocusedInputInsertionService::conditionallyRestorePasteboard(
    const PasteboardSnapshot &snapshot, qint64 expectedChangeCount, double after) {
    // On the application object, not the service: the user's clipboard
    // comes back even when the service is gone by then.
    spawn(
        nullptr,
        [pasteboard = m_pasteboard, snapshot, expectedChangeCount, after, sleeper = m_sleeper] {
            return restoreIfUnchanged(pasteboard, snapshot, expectedChangeCount, after, sleeper);
        },
        QStringLiteral("pasteboard restore"));
}

void FocusedInputInsertionService::restoreAfterPaste(const Delivery &delivery,
                                                     bool evenIfNeverTaken) {
    if (!delivery.receipt.tells()) {
        conditionallyRestorePasteboard(delivery.snapshot, delivery.changeCount,
                                       pasteboardRestoreDelay);
        return;
    }
    spawn(
        nullptr,
        [pasteboard = m_pasteboard, snapshot = delivery.snapshot,
         changeCount = delivery.changeCount, receipt = delivery.receipt, evenIfNeverTaken,
         sleeper = m_sleeper] {
            return restoreOnceTaken(pasteboard, snapshot, changeCount, receipt, evenIfNeverTaken,
                                    sleeper);
        },
        QStringLiteral("pasteboard restore"));
}

void FocusedInputInsertionService::writeToPasteboard(const QString &text) {
    PasteboardItem item;
    item.setString(text);
    m_pasteboard->clearContents();
    if (!m_pasteboard->writeObjects({item}))
        throw FocusedInputInsertionError(FocusedInputInsertionError::Kind::pasteboardWriteFailed);
}

void FocusedInputInsertionService::simulatePasteShortcut() {
    if (!m_keySender->sendPasteShortcut())
        throw FocusedInputInsertionError(FocusedInputInsertionError::Kind::pasteSimulationFailed);
}

QCoro::Task<bool> FocusedInputInsertionService::pressPasteShortcut(bool onDesktopKeyboard) {
    bool pressed = false;
    if (onDesktopKeyboard) {
        pressed = co_await m_desktopKeyboard.press();
    } else {
        try {
            simulatePasteShortcut();
            pressed = true;
        } catch (const FocusedInputInsertionError &) {
        }
    }
    logKeys(pressed, onDesktopKeyboard);
    co_return pressed;
}

// --- Watching for corrections ----------------------------------------------------

void FocusedInputInsertionService::startCorrectionObservationIfNeeded(
    const FocusedInputContext &context, const QString &insertedText,
    const std::optional<QString> &observedInsertedValue,
    const std::optional<ActiveInteractionContext> &interactionContext,
    const ObservedInsertionEditCallback &onObservedEditEvent) {
    if (!onObservedEditEvent)
        return;
    CorrectionObservationContext observation;
    observation.sessionID = QUuid::createUuid();
    observation.element = context.element;
    observation.insertedText = insertedText;
    observation.insertedValue =
        observedInsertedValue ? *observedInsertedValue
                              : FocusedInputFieldOperations::expectedValue(insertedText, context);
    if (interactionContext) {
        observation.appName = interactionContext->appName;
        observation.windowTitle = interactionContext->naturalFormattingContext.windowTitle;
    }
    const CorrectionObservation::Timing timing{
        correctionObservationPollingInterval, correctionObservationIdleThreshold,
        correctionObservationMaxPollCount, correctionObservationNoChangeStopCount};
    // The watch ends with the service that started it, instead of reading
    // the field from the accessibility thread for up to half a minute more.
    spawn(
        m_watchContext.get(),
        [client = m_accessibility, sleeper = m_sleeper, clock = m_clock, observation, timing,
         onObservedEditEvent, stop = m_lifetime] {
            return CorrectionObservation::run(client, sleeper, clock, observation, timing,
                                              onObservedEditEvent, stop);
        },
        QStringLiteral("correction observation"));
}

} // namespace tovalit
