#pragma once

#include "models/active_interaction_context.h"
#include "models/insertion_result.h"
#include "models/observed_insertion_edit_event.h"
#include "platform/display_session.h"
#include "services/text_injection/clipboard_head_start.h"
#include "services/text_injection/desktop_keyboard_paste.h"
#include "services/text_injection/focused_input_context.h"
#include "services/text_injection/focused_input_field_operations.h"
#include "services/text_injection/paste_receipt.h"
#include "services/text_injection/pasteboard_snapshot.h"
#include "services/text_injection/post_paste_observation_state.h"
#include "services/text_injection/terminal_paste.h"
#include "support/async_mutex.h"
#include "support/cancel_token.h"
#include "support/clock.h"
#include "support/sleeper.h"

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

class QObject;

namespace tovalit {

class AccessibilityClient;
class KeySender;
class Pasteboard;
class RemoteDesktopKeyboardAccess;
class WindowSystem;

// Delivers a finished dictation into the input that has the keyboard
// focus in another application.
//
// It prefers the paste: the text goes onto the clipboard, Ctrl+V is
// pressed, and accessibility confirms that the text arrived. It writes the
// input's value directly instead when the text re-takes a stretch around
// the caret, and whenever a paste step fails or the input did not take
// the paste. The text stays on the clipboard when the insertion fails or
// could not be checked; otherwise the user's clipboard comes back
// afterwards, unless somebody wrote to it in the meantime. After a
// successful insertion the input is watched for the user's own
// corrections.
//
// A terminal gets its own paste keys and its screen is checked for the
// text (TerminalPaste).
//
// In a Wayland session keys sent through the X server reach XWayland
// windows only: a native window gets Ctrl+V on the keyboard the desktop
// lends, with the same checks around it; where the desktop lends none, the
// direct write is the one way in, and when it does not take the text stays
// on the clipboard.
//
// Used from the GUI thread; insertions run one at a time. Reads and writes
// of the other application run on the accessibility thread, the clipboard
// on the GUI thread.
class FocusedInputInsertionService {
public:
    FocusedInputInsertionService(
        std::shared_ptr<AccessibilityClient> accessibility, std::shared_ptr<Pasteboard> pasteboard,
        std::shared_ptr<KeySender> keySender, Sleeper sleeper = systemSleeper(),
        MonotonicClock clock = systemMonotonicClock(), DisplaySession displaySession = {},
        std::shared_ptr<WindowSystem> windowSystem = nullptr,
        std::shared_ptr<RemoteDesktopKeyboardAccess> desktopKeyboard = nullptr,
        std::shared_ptr<Pasteboard> primarySelection = nullptr);
    ~FocusedInputInsertionService();
    FocusedInputInsertionService(const FocusedInputInsertionService &) = delete;
    FocusedInputInsertionService &operator=(const FocusedInputInsertionService &) = delete;

    // Inserts `text` at the caret of the focused input of the context's
    // application (or of whatever has the focus). `onObservedEditEvent`
    // receives the user's later corrections; without it nothing is
    // watched. A head start from startClipboardHeadStart() is taken over.
    // Throws FocusedInputInsertionError (pasteboardWriteFailed) only when
    // the text could be put neither on the clipboard nor into the input;
    // every other failure ends in a result.
    QCoro::Task<InsertionResult> insert(QString text,
                                        std::optional<ActiveInteractionContext> interactionContext,
                                        ObservedInsertionEditCallback onObservedEditEvent,
                                        std::unique_ptr<ClipboardHeadStart> headStart = nullptr);

    // Puts `text` on the clipboard ahead of its insertion, the user's
    // clipboard kept first, where the paste will most likely go out on the
    // keyboard the desktop lends (held already); nothing elsewhere, or when
    // the clipboard refused the text.
    QCoro::Task<std::unique_ptr<ClipboardHeadStart>> startClipboardHeadStart(QString text);

    // Whether this process may read and write other applications' inputs,
    // asked anew.
    QCoro::Task<bool> accessibilityTrusted();

    static constexpr double correctionObservationPollingInterval = 0.25;
    static constexpr double correctionObservationIdleThreshold = 3.0;
    static constexpr int correctionObservationMaxPollCount = 120;
    static constexpr int correctionObservationNoChangeStopCount = 24;

    static constexpr int liveContextAttempts = 4;
    static constexpr double liveContextRetryDelay = 0.04;
    // How long the field the capture read is looked for, at the same
    // rhythm, when the first attempts find nothing.
    static constexpr double liveContextDeadline = 1.5;
    // Lets the selection settle before the keys arrive.
    static constexpr double pasteKeyDelay = 0.06;
    // The paste lands some tens of milliseconds after the keys.
    static constexpr double pasteSettleDelay = 0.16;
    static constexpr int postPasteReads = 4;
    static constexpr double postPasteReadInterval = 0.12;
    // How long a selection the editor took may take to show in it: a
    // browser applies it in its page a moment later.
    static constexpr int selectionShownReads = 16;
    static constexpr double selectionShownReadInterval = 0.05;
    // Reads more, at the same rhythm, of a field that takes no direct
    // write before its paste counts as lost: three seconds.
    static constexpr int latePasteReads = 25;
    // A change other than the expected text counts as the page's own once
    // that many reads in a row find it the same (half a second).
    static constexpr int changeSettledReads = 4;
    // Some toolkits show a direct write in their accessible text a moment
    // late; the field is read back at the rhythm of the post-paste reads.
    static constexpr int directWriteReads = 4;
    static constexpr double directWriteReadInterval = 0.12;
    // The target may still be reading the clipboard for a moment: where
    // the desktop does not show when it reads, the clipboard comes back
    // that long after the paste.
    static constexpr double pasteboardRestoreDelay = 0.32;
    // A program reads the clipboard when it handles the paste's keys, a
    // busy one seconds late; one that has not read it that long after the
    // keys never pasted.
    static constexpr double pasteTakenWait = 4.0;

private:
    // What one insertion carries from step to step.
    struct Delivery {
        QString text;
        // As said, before preparing it for the text around the caret.
        QString dictated;
        std::optional<FocusedInputContext> live;
        std::optional<FocusedInputContext> effective;
        // Where there is no effective context: the focused editor that
        // could not place its selection.
        std::optional<UnplacedSelectionField> unplaced;
        std::optional<ActiveInteractionContext> interactionContext;
        ObservedInsertionEditCallback onObservedEditEvent;
        PasteboardSnapshot snapshot;
        qint64 changeCount = 0;
        // Ctrl+V goes out on the keyboard the desktop lends, not through
        // the X server.
        bool onDesktopKeyboard = false;
        // Whether the program the keys went to took the text; made as they
        // go out.
        PasteReceipt receipt;
        bool keysSent = false;
    };

    QCoro::Task<InsertionResult> pasteAndConfirm(Delivery delivery);
    // Selects the widened range the paste is to replace, or falls back to
    // the dictation as said at the caret; a result when that ended it.
    QCoro::Task<std::optional<InsertionResult>> selectWidenedRange(Delivery &delivery);
    // Takes the paste back to the dictated text at the live caret, where
    // the wider range it was to replace could not be selected; false when
    // the clipboard refused it.
    bool unwiden(Delivery &delivery);
    // The context a paste over a selection the editor could not place
    // replaced, read back from the editor once the paste shows; nothing
    // when it does not show so within the late paste's reads, or the
    // editor settles on something else.
    QCoro::Task<std::optional<FocusedInputContext>>
    replacedUnplacedSelection(QString text, UnplacedSelectionField field, qint32 processID);
    QCoro::Task<std::optional<FocusedInputContext>> pastedBeforeFreshCaret(qint32 processID,
                                                                           QString text);
    QCoro::Task<std::optional<UnplacedSelectionField>> unplacedSelectionField(qint32 processID);
    QCoro::Task<FocusedInputFieldOperations::SelectionPaste>
    pasteOverUnplacedSelection(QString text, UnplacedSelectionField field);
    // The process of the X server's active window in a Wayland session;
    // nothing elsewhere, or without one.
    std::optional<qint32> activeXWindowProcessInWaylandSession();
    // Whether Ctrl+V sent through the X server reaches the focused
    // window: not a native window of a Wayland session.
    QCoro::Task<bool> pasteReachesFocusedWindow(std::optional<FocusedInputContext> effective,
                                                std::optional<qint32> contextProcess,
                                                std::optional<qint32> activeXWindowProcess);
    QCoro::Task<InsertionResult> deliverWithoutPaste(Delivery delivery, bool directWriteTried);
    // The process whose window the keys go to, where known.
    QCoro::Task<std::optional<qint32>> pasteTarget(Delivery delivery);
    QCoro::Task<InsertionResult> confirmUnverifiedPaste(Delivery delivery, QString expected);
    // A paste nothing could be seen of counts once the program took the
    // text, and leaves it on the clipboard when it never did. `resultLine`
    // is the line of a taken one; `observedValue` starts the watch where
    // there is a field.
    QCoro::Task<InsertionResult> finishUncheckedPaste(Delivery delivery, QString resultLine,
                                                      std::optional<QString> observedValue);
    // A field that shows nothing of a paste whose taking the clipboard
    // sees: the paste is waited for while the program has not taken it.
    QCoro::Task<InsertionResult> unchangedPasteSeenByClipboard(Delivery delivery, QString expected);
    // Where a program took the paste into an editor it moved the focus to
    // (a small box whose first input moves its text into a bigger one):
    // that editor now holding the text once, right before its caret.
    QCoro::Task<std::optional<InsertionResult>> pasteInNewlyFocusedField(Delivery delivery);
    QCoro::Task<std::optional<FocusedInputContext>> focusedFieldOf(qint32 processID);
    // Logs the path and result lines of a direct write that took the
    // paste's place, restoring the clipboard first when asked, and starts
    // the watch.
    InsertionResult finishDirectWrite(const Delivery &delivery, bool restoreNow,
                                      const QString &path, const QString &resultLine,
                                      const std::optional<QString> &observedValue);
    InsertionResult finishPaste(const Delivery &delivery, InsertionResult result,
                                const QString &resultLine, const QString &observedValue);

    // At least `maxAttempts` attempts, and more, `retryDelay` apart,
    // until `lookAgainFor` seconds have passed since the first.
    QCoro::Task<FocusedInputContext>
    focusedInputContextWithRetries(std::optional<qint32> expectedProcessID, int maxAttempts,
                                   double retryDelay, double lookAgainFor);
    QCoro::Task<FocusedInputContext> focusedInputContext(std::optional<qint32> expectedProcessID);
    QCoro::Task<void> logSearchFailure(std::optional<qint32> expectedProcessID);

    QCoro::Task<PasteboardSnapshot> capturePasteboardSnapshot();
    void restorePasteboardImmediately(const PasteboardSnapshot &snapshot);
    void conditionallyRestorePasteboard(const PasteboardSnapshot &snapshot,
                                        qint64 expectedChangeCount, double after);
    // Puts the user's clipboard back once the paste's target took the
    // text, where the clipboard shows that, and otherwise a moment after
    // the paste; when the target never took it, only with
    // `evenIfNeverTaken` (the text is in the field all the same).
    void restoreAfterPaste(const Delivery &delivery, bool evenIfNeverTaken);
    void writeToPasteboard(const QString &text);
    void simulatePasteShortcut();
    // simulatePasteShortcut(), or Ctrl+V on the desktop's keyboard; false
    // when the keys could not be sent.
    QCoro::Task<bool> pressPasteShortcut(bool onDesktopKeyboard);

    QCoro::Task<bool> setSelectedRange(AccessibilityRange range, AccessibilityElementRef on);
    QCoro::Task<AccessibilityRange> selectedRange(AccessibilityElementRef of);
    // Selects the range and waits until the editor shows it selected;
    // false when it refused it or never showed it.
    QCoro::Task<bool> selectionShown(AccessibilityRange range, AccessibilityElementRef on);
    // What the field shows once the paste is in it, as
    // FocusedInputFieldOperations::pastedValue says.
    QCoro::Task<std::optional<QString>> pastedValue(QString text, FocusedInputContext context);
    QCoro::Task<std::optional<QString>> observedStringValue(AccessibilityElementRef element,
                                                            std::optional<qint32> processID);
    QCoro::Task<std::optional<qint32>> processIdentifier(AccessibilityElementRef element);
    QCoro::Task<PostPasteObservationState>
    inspectPostPasteObservationState(FocusedInputContext context);
    QCoro::Task<std::optional<InsertionResult>> latePaste(Delivery delivery, QString expected);
    // The field read for a paste shown late, for as long as a browser may
    // take: what it ended as, or nothing when it never changed.
    QCoro::Task<std::optional<InsertionResult>> watchForPaste(Delivery delivery, QString expected);
    QCoro::Task<InsertionResult> settledChange(Delivery delivery, QString expected,
                                               QString changed);
    InsertionResult finishChangedPaste(const Delivery &delivery, const QString &observed);
    QCoro::Task<std::optional<QString>> pasteVerified(QString text, FocusedInputContext context);
    // `shown`: what the field shows with the paste in it.
    InsertionResult finishVerifiedPaste(const Delivery &delivery, const QString &shown);
    // What a field that changed into the expected value (or into the
    // dictated text alone) shows when checked again with the paste whole;
    // nothing when it does not.
    QCoro::Task<std::optional<QString>> shownAsExpected(QString value, QString text,
                                                        FocusedInputContext context);
    // Whether the element says it takes a new text of its own.
    QCoro::Task<bool> valueSettable(AccessibilityElementRef element);
    // Whether the element takes no text at all: neither a new text of its
    // own nor a paste at its caret.
    QCoro::Task<bool> readOnly(AccessibilityElementRef element);
    QCoro::Task<bool> contextStillMatchesOriginalState(FocusedInputContext context);
    // Counts only when the field is read back holding the written text.
    // False, touching nothing, without a context or an editable field.
    QCoro::Task<bool> directInsert(QString text, std::optional<FocusedInputContext> context);
    QCoro::Task<FocusedInputFieldOperations::DirectWrite> writeValue(QString text,
                                                                     FocusedInputContext context);
    QCoro::Task<void> placeCaretAfter(QString text, FocusedInputContext context);

    void startCorrectionObservationIfNeeded(
        const FocusedInputContext &context, const QString &insertedText,
        const std::optional<QString> &observedInsertedValue,
        const std::optional<ActiveInteractionContext> &interactionContext,
        const ObservedInsertionEditCallback &onObservedEditEvent);

    std::shared_ptr<AccessibilityClient> m_accessibility;
    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<KeySender> m_keySender;
    Sleeper m_sleeper;
    MonotonicClock m_clock;
    DisplaySession m_displaySession;
    std::shared_ptr<WindowSystem> m_windowSystem;
    DesktopKeyboardPaste m_desktopKeyboard;
    // `primarySelection`: where a terminal pastes from that selection.
    TerminalPaste m_terminals;
    // Cancelled when the service goes: a paste not yet sent is not sent.
    CancelToken m_lifetime;
    AsyncMutex m_insertions;
    // Watches start on it; one not yet started when the service goes never
    // starts.
    std::unique_ptr<QObject> m_watchContext;
};

} // namespace tovalit
