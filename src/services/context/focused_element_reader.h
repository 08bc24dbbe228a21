#pragma once

#include "platform/accessibility_element.h"
#include "services/context/focused_element_context.h"

#include <optional>

namespace tovalit {

class AccessibilityClient;

// One read of the frontmost application's focused text element for the
// interaction context: a breadth-first search from the focus of the
// application and of the desktop, scoring each element for how much it
// looks like a text field with a caret, then the texts around the caret.
// Never fails: whatever cannot be read stays absent.
//
// Everything here talks to other applications and runs on the
// accessibility thread (AccessibilityClient::thread()).
class FocusedElementReader {
public:
    FocusedElementReader() = delete;

    static FocusedElementContext
    captureFocusedElementContext(AccessibilityClient &client,
                                 std::optional<qint32> processIdentifier);

    static QList<AccessibilityElementRef> searchRoots(AccessibilityClient &client,
                                                      std::optional<qint32> processIdentifier);
    static AccessibilityElementRef resolvedTextElement(const QList<AccessibilityElementRef> &roots,
                                                       int maxVisited);
    // Breadth-first from the roots through children and related elements,
    // visiting at most `maxVisited` elements: the first that scores at
    // least `acceptAtOnce`, else the best scorer when it reaches `minimum`.
    // The text search and the insertion's editable search differ only in
    // their scores.
    using CandidateScore = int (*)(AccessibilityElement &element, int depth);
    static AccessibilityElementRef bestScoredElement(const QList<AccessibilityElementRef> &roots,
                                                     int maxVisited, CandidateScore score,
                                                     int acceptAtOnce, int minimum);
    static int textCandidateScore(AccessibilityElement &element, int depth);

    // Whether the element holds text, says where its caret or selection is,
    // and takes new text: a field, however little it holds.
    static bool takesText(AccessibilityElement &element);
    // Whether `value`, the element's text as read, is empty and the element
    // counts no text it has not given.
    static bool holdsNoText(AccessibilityElement &element, const std::optional<QString> &value);
    // Whether the element says where its caret is but its text cannot be
    // read now (a rich-text editor whose paragraphs do not answer yet): a
    // focused one is the field all the same, never the page around it.
    static bool isUnreadableTextField(AccessibilityElement &element);
    // The element says it holds a selection that it cannot tell.
    static bool holdsUntoldSelection(AccessibilityElement &element);

    // Readers; each reads the live tree anew.
    static std::optional<QString> stringValue(AccessibilityElement &element);
    static std::optional<AccessibilityRange> selectedRange(AccessibilityElement &element);
    static std::optional<QString> stringAttribute(const QString &attribute,
                                                  AccessibilityElement &element);
    static std::optional<QString> firstNonEmptyStringAttribute(const QStringList &attributes,
                                                               AccessibilityElement &element);
    static std::optional<QString> selectedText(AccessibilityElement &element,
                                               const std::optional<QString> &currentValue,
                                               std::optional<AccessibilityRange> selectedRange);
    static std::optional<QString> parameterizedString(AccessibilityRange range,
                                                      AccessibilityElement &element);

    struct TextSegments {
        QString before;
        QString after;
    };
    // From the element's text value (characters).
    static std::optional<TextSegments>
    surroundingTextSegments(const QString &text, std::optional<AccessibilityRange> range,
                            int contextLength);
    // A terminal's screen above the cursor is the programs' output, and
    // what follows the cursor their drawing: the user's text is the
    // cursor's line up to the cursor.
    static std::optional<TextSegments> terminalLineSegments(AccessibilityElement &element,
                                                            int contextLength);
    // Through the accessibility interface (UTF-16 units).
    static std::optional<TextSegments> surroundingTextSegmentsAround(AccessibilityRange range,
                                                                     AccessibilityElement &element,
                                                                     int contextLength);
    // `segments` of a paragraph of a document that shows each of its
    // paragraphs as an element of its own, with the text of the paragraphs
    // before and after it as far as `contextLength` reaches; any other
    // element's as they are.
    static TextSegments withNeighbouringParagraphs(AccessibilityElement &element,
                                                   TextSegments segments, int contextLength);
    static std::optional<QRectF> boundsForRange(AccessibilityRange range,
                                                AccessibilityElement &element);

    static AccessibilityElementRef parent(AccessibilityElement &element);
    static QList<AccessibilityElementRef> elementArrayAttribute(const QString &attribute,
                                                                AccessibilityElement &element);
    static QList<AccessibilityElementRef> childElements(AccessibilityElement &element);
    static QList<AccessibilityElementRef> relatedElements(AccessibilityElement &element);
    static QStringList attributeNames(AccessibilityElement &element);

    // Texts for the diagnostics log; dozens of reads each.
    static QString elementDebugSummary(AccessibilityElement &element);
    static QString graphDebugSnapshot(AccessibilityElement &element);
    static QString searchRootsDebugSummary(const QList<AccessibilityElementRef> &roots);

    static constexpr int maxVisited = 160;
    static constexpr int earlyAcceptScore = 70;
    static constexpr int minimumScore = 30;
    static constexpr int contextLength = 180;
    static constexpr int textLimit = 260;
    static constexpr int roleLimit = 80;
    static constexpr int descriptionLimit = 160;
};

} // namespace tovalit
