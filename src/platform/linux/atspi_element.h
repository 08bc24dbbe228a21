#pragma once

#include "platform/accessibility_element.h"
#include "platform/linux/atspi_bus.h"

#include <memory>

namespace tovalit {

// An element of the accessibility bus in the accessibility vocabulary:
// attribute names are translated to AT-SPI calls, and text ranges between
// UTF-16 code units and the application's own offsets (a conversion that
// would split a character fails). Used on the accessibility thread only.
class AtspiElement final : public AccessibilityElement {
public:
    enum class Kind {
        Object,      // an accessible object of an application
        Application, // an application's root, which also knows its focus
        SystemWide,  // the whole desktop: only its focus
        Unreachable, // an application that is not on the bus: answers nothing
    };

    // An element embedded in an editor's text reads what it embeds too,
    // editable or not (Firefox does not mark a list in an editor editable).
    AtspiElement(std::shared_ptr<AtspiBus> bus, Kind kind, AtspiObject object,
                 bool embeddedInEditor = false);

    QString identity() const override;
    std::optional<AccessibilityValue> attributeValue(const QString &attribute) override;
    std::optional<AccessibilityValue>
    parameterizedAttributeValue(const QString &attribute,
                                const AccessibilityValue &parameter) override;
    bool setAttributeValue(const QString &attribute, const AccessibilityValue &value) override;
    bool isAttributeSettable(const QString &attribute) override;
    QStringList attributeNames() override;
    std::optional<qint32> processIdentifier() override;

private:
    AccessibilityElementRef element(const AtspiObject &object) const;
    std::optional<AccessibilityValue> focusAttribute(const QString &attribute);
    // The application's focused element, looked for within the running
    // job's deadline.
    std::optional<AtspiObject> focusedElementOf(const QString &service);
    // Its role, names and the attributes a page gives it.
    std::optional<AccessibilityValue> describingAttribute(const QString &attribute);
    // Its parent or children.
    std::optional<AccessibilityValue> treeAttribute(const QString &attribute);
    // What its Text interface says; asked only of an element that has one.
    std::optional<AccessibilityValue> textAttribute(const QString &attribute);
    bool hasInterface(const QString &name);
    std::optional<AccessibilityValue> embeddedObjects(const AccessibilityRange &range);
    // Whether its text stands for elements it embeds (U+FFFC through the
    // Hypertext interface), or may: a text that does is never written
    // whole.
    bool embedsObjects();
    // What the element says of its selection, in the application's own
    // offsets: nothing selected, a range, or a selection that cannot be
    // told.
    struct Selected {
        std::optional<std::pair<qint64, qint64>> range;
        bool unknown = false;
    };
    Selected selected();
    // Whether its whole text may be written at once: never a web page's
    // editable other than a text field or text area, whatever it holds
    // (its chips, formatting and links would be flattened, or the write
    // ignored), nor a text that embeds elements. Such a text takes new
    // text through its caret alone.
    bool takesWholeValue();
    // Editable, yet never written whole.
    bool pastesOnly();
    // Whether `text`, its whole text as just read, is only a hint the page
    // draws while the field is empty: then the field reads as empty, its
    // caret at 0.
    bool drawnHint(const QString &text);
    // Whether its text now is a drawn hint.
    bool drawnHintShown();
    // Its text as the user wrote it: empty where it is a drawn hint.
    std::optional<QString> userText(std::optional<QString> text);
    std::optional<QHash<QString, QString>> objectAttributes();
    // Whether a web page made it, and as what: the page's element name.
    std::optional<QString> webTag();
    // The element's selection, or its caret as an empty range, in the
    // application's own offsets; nothing where its selection cannot be
    // told.
    std::optional<std::pair<qint64, qint64>> selectionOffsets();
    // Text offsets of the application for a UTF-16 range, with the text
    // those offsets cover; nothing when the range starts outside the text,
    // ends outside it (unless `clampToText` cuts it at the end) or splits a
    // character.
    struct NativeRange {
        qint64 start = 0;
        qint64 end = 0;
        QString text;
    };
    std::optional<NativeRange> nativeRange(const AccessibilityRange &range, bool clampToText);
    std::optional<AccessibilityRange> utf16Range(qint64 start, qint64 end);
    std::optional<QRectF> caretBounds(qint64 offset);
    // Whether it is a terminal whose text offsets count its screen's
    // cells; asked once.
    bool countsScreenCells();
    // How many cells a row of its screen holds.
    std::optional<qint64> screenColumns();
    // The text of cells [start, start + length).
    std::optional<QString> cellText(const AccessibilityRange &range);

    std::shared_ptr<AtspiBus> m_bus;
    Kind m_kind;
    AtspiObject m_object;
    std::optional<QStringList> m_interfaces;
    bool m_embeddedInEditor = false;
    // Whether it said it is editable, asked once: its embedded elements
    // are asked for a few at a time.
    std::optional<bool> m_editable;
    std::optional<bool> m_countsScreenCells;
    std::optional<std::optional<QHash<QString, QString>>> m_attributes;
    // The last text asked about, and whether it was a drawn hint.
    std::optional<std::pair<QString, bool>> m_drawn;
    // Its whole text, read with the link that reached it; the first read
    // of its value takes it, later ones ask again.
    std::optional<QString> m_textReadAhead;
};

} // namespace tovalit
