#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <variant>

namespace tovalit {

// A text range as the accessibility vocabulary counts it: UTF-16 code
// units from the start of the element's text.
struct AccessibilityRange {
    qint64 location = 0;
    qint64 length = 0;

    bool operator==(const AccessibilityRange &) const = default;
};

class AccessibilityElement;
using AccessibilityElementRef = std::shared_ptr<AccessibilityElement>;

// What an attribute can hold: text, a range, a rectangle in global screen
// coordinates (origin at the top left, y growing downwards), one element
// or a list of elements. Callers check the kind they expect; a value of
// another kind counts as no answer.
using AccessibilityValue = std::variant<QString, AccessibilityRange, QRectF,
                                        AccessibilityElementRef, QList<AccessibilityElementRef>>;

// The attribute names of the accessibility vocabulary the application uses.
namespace ax {
inline const QString value = QStringLiteral("AXValue");
inline const QString selectedTextRange = QStringLiteral("AXSelectedTextRange");
inline const QString selectedText = QStringLiteral("AXSelectedText");
// Where the caret stands in the text, as an empty AccessibilityRange,
// asked without the selection: a browser answers an editor's selection by
// walking its whole document (a second over a long one), its caret at once.
inline const QString caret = QStringLiteral("AXCaret");
inline const QString role = QStringLiteral("AXRole");
inline const QString roleDescription = QStringLiteral("AXRoleDescription");
inline const QString description = QStringLiteral("AXDescription");
inline const QString title = QStringLiteral("AXTitle");
inline const QString placeholderValue = QStringLiteral("AXPlaceholderValue");
inline const QString help = QStringLiteral("AXHelp");
inline const QString parent = QStringLiteral("AXParent");
inline const QString children = QStringLiteral("AXChildren");
inline const QString visibleChildren = QStringLiteral("AXVisibleChildren");
inline const QString contents = QStringLiteral("AXContents");
inline const QString selectedChildren = QStringLiteral("AXSelectedChildren");
inline const QString rows = QStringLiteral("AXRows");
inline const QString columns = QStringLiteral("AXColumns");
inline const QString focusedUIElement = QStringLiteral("AXFocusedUIElement");
inline const QString focusedWindow = QStringLiteral("AXFocusedWindow");
// The elements a rich-text editor's text embeds (its paragraphs, links,
// images): a list of elements, the n-th standing at the n-th U+FFFC of the
// AXValue. Only an element the user edits answers: following a whole
// page's elements would cost a call to the page for each one.
inline const QString embeddedObjects = QStringLiteral("AXEmbeddedObjects");
// Parameterised by an AccessibilityRange of those elements' indices (not
// of the text): the ones in that range, each asked of the page on its own,
// so that an editor of any length costs what the range holds. An empty
// range answers an empty list when the element embeds elements at all;
// a range past the last one, nothing.
inline const QString embeddedObjectsForRange = QStringLiteral("AXEmbeddedObjectsForRange");
// How a web page lays the element out ("block", "inline", "list-item"...),
// where the application says.
inline const QString display = QStringLiteral("AXDisplay");
// How long the element's whole text is, as an AccessibilityRange from 0:
// an application knows it even while it has no text to give yet, and an
// element it says is empty is empty.
inline const QString characterCount = QStringLiteral("AXCharacterCount");
// How many stretches of the element's text it says are selected, as an
// AccessibilityRange from 0 as AXCharacterCount counts. One where
// AXSelectedTextRange answers nothing is a selection the application
// reports so that it cannot be read: not known, and never a caret.
inline const QString selectionCount = QStringLiteral("AXSelectionCount");
// "true" for an editable text whose whole value is never written (a web
// page's rich-text editor): new text goes in through its caret alone, by
// paste. Nothing for any other element.
inline const QString pastesOnly = QStringLiteral("AXPastesOnly");
// How many cells a row of a terminal's screen holds, as an AccessibilityRange
// from 0, for a terminal whose text offsets count its screen's cells rather
// than characters: row after row, each as wide as the screen whatever it
// shows, a wide character taking two. Its caret and the ranges of
// AXStringForRange are then such offsets. Nothing for any other element.
inline const QString screenColumns = QStringLiteral("AXScreenColumns");
// Parameterised: both take an AccessibilityRange.
inline const QString stringForRange = QStringLiteral("AXStringForRange");
inline const QString boundsForRange = QStringLiteral("AXBoundsForRange");
} // namespace ax

// One element of another application's accessibility tree (a text field,
// a window, the application itself). Every call reads or writes the live
// tree; implementations may require a particular thread (see
// AccessibilityClient::thread()).
class AccessibilityElement {
public:
    virtual ~AccessibilityElement() = default;

    // Equal for two handles of the same element, different otherwise.
    virtual QString identity() const = 0;

    // The attribute's value, or nothing when the element does not answer.
    virtual std::optional<AccessibilityValue> attributeValue(const QString &attribute) = 0;
    virtual std::optional<AccessibilityValue>
    parameterizedAttributeValue(const QString &attribute, const AccessibilityValue &parameter) = 0;
    // Whether the element took the value. Some toolkits acknowledge a
    // write they ignore, so only a read afterwards tells what arrived.
    virtual bool setAttributeValue(const QString &attribute, const AccessibilityValue &value) = 0;
    // Whether the element says it would take a new value of the attribute
    // now: the text of a read-only field is not settable.
    virtual bool isAttributeSettable(const QString &attribute) = 0;
    // The names of the attributes the element answers, in no set order.
    virtual QStringList attributeNames() = 0;
    // The process that owns the element, when known.
    virtual std::optional<qint32> processIdentifier() = 0;
};

// Typed reads of an attribute value: nothing when absent or of another kind.
template <typename T>
std::optional<T> accessibilityValueAs(const std::optional<AccessibilityValue> &value) {
    if (!value)
        return std::nullopt;
    if (const T *typed = std::get_if<T>(&*value))
        return *typed;
    return std::nullopt;
}

} // namespace tovalit
