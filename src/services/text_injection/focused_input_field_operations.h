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
    static PostPasteObservationState
    postPasteObservationState(const QString &originalValue,
                              const std::optional<QString> &currentValue);

    // Whether the field took the selection.
    static bool setSelectedRange(AccessibilityRange range, AccessibilityElement &on);
    // The field holds the expected value with the caret right after the
    // inserted text. Throws when the field cannot be read.
    static bool verifyPasteInserted(const QString &text, const FocusedInputContext &using_);
    // What the field shows when the check above holds: the expected value;
    // or the inserted text alone, with the caret at its end, where the
    // field read as text it only drew while empty (a web page's hint that
    // no sign told apart): a paste takes nothing else out. Nothing when
    // the paste is not shown.
    static std::optional<QString> pastedValue(const QString &text,
                                              const FocusedInputContext &using_);
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
    // The stretch of `before` that `after`, with its caret at `caret`,
    // shows replaced by `text`; nothing when it shows none.
    static std::optional<AccessibilityRange> replacedStretch(const QString &before,
                                                             const QString &text,
                                                             const QString &after,
                                                             AccessibilityRange caret);
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
