#pragma once

#include "platform/accessibility_element.h"
#include "services/text_injection/focused_input_context.h"

#include <optional>

namespace tovalit {

class AccessibilityClient;

// Finds the input that is to receive dictated text: breadth-first from the
// focus of the target application and of the desktop, up to parents and
// down to children, scoring each element for how much it looks like an
// editable text with a caret.
//
// Everything here talks to other applications and runs on the
// accessibility thread (AccessibilityClient::thread()). Failures are
// FocusedInputInsertionError::focusedElementUnavailable.
class FocusedInputElementSearch {
public:
    FocusedInputElementSearch() = delete;

    // One attempt: the element with its whole text and its selection.
    static FocusedInputContext focusedInputContext(AccessibilityClient &client,
                                                   std::optional<qint32> expectedProcessID);
    static AccessibilityElementRef focusedElement(AccessibilityClient &client,
                                                  std::optional<qint32> expectedProcessID);
    // The application's focused editor when it holds a selection it cannot
    // place, with its text; nothing otherwise.
    static std::optional<UnplacedSelectionField> unplacedSelectionField(AccessibilityClient &client,
                                                                        qint32 processID);
    // Nothing when no element within `maxVisited` scores at least
    // minimumScore.
    static AccessibilityElementRef
    resolvedEditableElement(const QList<AccessibilityElementRef> &roots, int maxVisited);
    static int editableCandidateScore(AccessibilityElement &element, int depth);

    // The element's whole text, untrimmed; throws when it has none.
    static QString stringValue(AccessibilityElement &element);
    // The selection, or the caret as an empty range; throws when unknown.
    static AccessibilityRange selectedRange(AccessibilityElement &element);

    // Logs, once all attempts failed, what the search started from. The
    // summaries cost dozens of reads and are only built when the log is on.
    static void logSearchFailure(AccessibilityClient &client,
                                 std::optional<qint32> expectedProcessID);

    static QString elementDebugSummary(AccessibilityElement &element);
    static QString graphDebugSnapshot(AccessibilityElement &element);
    static QString searchRootsDebugSummary(const QList<AccessibilityElementRef> &roots);

    static constexpr int maxVisited = 160;
    static constexpr int earlyAcceptScore = 70;
    static constexpr int minimumScore = 40;
};

} // namespace tovalit
