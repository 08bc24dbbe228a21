#pragma once

#include "services/text_injection/focused_input_context.h"
#include "services/text_injection/post_paste_observation_state.h"

#include <optional>

namespace tovalit {

class AccessibilityClient;

// Reading and writing the input that receives dictated text: the value it
// should hold afterwards, the checks after a paste, and the direct write
// that stands in for the paste. Apart from the two pure functions,
// everything runs on the accessibility thread.
class FocusedInputFieldOperations {
public:
    FocusedInputFieldOperations() = delete;

    // The context's text with its selection replaced by `afterInserting`;
    // the text unchanged when the selection does not fit it.
    static QString expectedValue(const QString &afterInserting, const FocusedInputContext &into);
    // Whether the field shows `expected`, bar one line break at the end of
    // either: an editor drops a trailing <br> once text follows it, or
    // keeps one a one-line box ends in, whichever way the page built it.
    static bool sameButForFinalBreak(const QString &shown, const QString &expected);
    static PostPasteObservationState
    postPasteObservationState(const QString &originalValue,
                              const std::optional<QString> &currentValue);

    // Whether the field took the selection.
    static bool setSelectedRange(AccessibilityRange range, AccessibilityElement &on);
    // The field holds the expected value with the caret right after the
    // inserted text. Throws when the field cannot be read.
    static bool verifyPasteInserted(const QString &text, const FocusedInputContext &using_);
    // What the field shows when the check above holds: the expected value
    // (bar a final line break); or the inserted text alone, with the caret
    // at its end, where a browser's editor held no more than a hint on one
    // line (a hint the page drew that no sign told apart): a paste takes
    // nothing else out. Anywhere else a field left holding the text alone
    // lost what the user had written. Nothing when the paste is not shown.
    static std::optional<QString> pastedValue(const QString &text,
                                              const FocusedInputContext &using_);
    // The same with the field as read, its final break kept.
    static std::optional<QString> pastedInto(const QString &text,
                                             const FocusedInputContext &using_);
    // Whether a field showing `shown` may hold a paste of `text` into the
    // context, its caret not yet looked at: the expected value (bar a final
    // break, or with the break the caret stood after dropped), or the text
    // alone.
    static bool mayShowPaste(const QString &shown, const QString &text,
                             const FocusedInputContext &into);
    // The field as it was before a paste of `text` over a selection it
    // could not place, and what it shows now: once its caret sits right
    // after `text` and the rest of its text is what was on either side of
    // one stretch of its text before, that stretch taken out. Nothing while
    // the paste does not show so, or replaced nothing: a selection the
    // paste did not take. `value` is what the field read, when it did.
    struct SelectionPaste {
        std::optional<QString> value;
        std::optional<FocusedInputContext> before;
    };
    static SelectionPaste pasteOverUnplacedSelection(const QString &text,
                                                     const UnplacedSelectionField &field);
    // The application's focused editor read afresh, around where its caret
    // is now, when `text` stands right before that caret: the editor as it
    // would have been without `text`, its caret where `text` begins. A
    // paste over a selection across paragraphs takes the caret's old
    // paragraph with it, so the editor read before cannot show it.
    static std::optional<FocusedInputContext>
    pastedBeforeFreshCaret(AccessibilityClient &client, qint32 processID, const QString &text);
    // The stretch of `before` that `after`, with its caret at `caret`,
    // shows replaced by `text`; nothing when it shows none.
    static std::optional<AccessibilityRange> replacedStretch(const QString &before,
                                                             const QString &text,
                                                             const QString &after,
                                                             AccessibilityRange caret);
    // Longest text before a paste that may have been a drawn hint.
    static constexpr qsizetype hintLengthLimit = 160;
    // The owner of the element; nothing when unknown.
    static std::optional<qint32> processIdentifier(AccessibilityElement &element);
    // The element's text; when the element cannot be read any more (a chat
    // box that was rebuilt), the text of the focused element of the same
    // process stands in for it.
    static std::optional<QString> observedStringValue(AccessibilityClient &client,
                                                      AccessibilityElement &of,
                                                      std::optional<qint32> expectedProcessID);
    // The field still holds the text and selection it had when read. Throws
    // when it cannot be read.
    static bool contextStillMatchesOriginalState(const FocusedInputContext &context);
    // A direct write as sent: the whole text the field was asked to hold.
    struct DirectWrite {
        enum class Outcome { sent, notEditable, pastesOnly, refused };
        Outcome outcome = Outcome::refused;
        QString value;
    };
    // Writes the field's whole text with the selection replaced by `text`.
    // Not sent, the field untouched, when the field says it is not
    // editable, or takes text by paste alone (a web page's rich-text
    // editor), or (refused) when the selection does not fit the text; also
    // refused when the field says so. A field may acknowledge a write it
    // ignores: only a read afterwards tells. Text typed into the field
    // after the context was read is overwritten.
    static DirectWrite writeValue(const QString &text, const FocusedInputContext &using_);
    // Puts the caret right after `text` written over the context's
    // selection; a field that will not move its caret is left as it is.
    static void placeCaretAfter(const QString &text, const FocusedInputContext &context);
};

} // namespace tovalit
