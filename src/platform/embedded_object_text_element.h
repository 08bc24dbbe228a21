#pragma once

#include "platform/accessibility_element.h"
#include "platform/embedded_object_text.h"

#include <QHash>

#include <vector>

namespace tovalit {

// An element read as its user sees it when its text embeds other elements,
// as a web page's rich-text editor's does (AXEmbeddedObjects): its value
// is the text of its paragraphs, its selection and caret are found in the
// paragraph that holds them, and ranges of that text reach the right
// paragraph again (to select, to read bounds). Its whole value is never
// written: the editor would ignore the write or lose its paragraphs to it.
// Any other element reads as it is. Elements reached from it (parent,
// children, focus) are wrapped in turn, so the whole tree reads this way.
class EmbeddedObjectTextElement final : public AccessibilityElement {
public:
    // `element` as it is when it is empty or wrapped already.
    static AccessibilityElementRef wrap(AccessibilityElementRef element);

    explicit EmbeddedObjectTextElement(AccessibilityElementRef element);

    QString identity() const override;
    std::optional<AccessibilityValue> attributeValue(const QString &attribute) override;
    std::optional<AccessibilityValue>
    parameterizedAttributeValue(const QString &attribute,
                                const AccessibilityValue &parameter) override;
    bool setAttributeValue(const QString &attribute, const AccessibilityValue &value) override;
    bool isAttributeSettable(const QString &attribute) override;
    QStringList attributeNames() override;
    std::optional<qint32> processIdentifier() override;

    // Elements read for one text at most: a longer document is not read
    // rather than read slowly, each element being a call to its page.
    static constexpr int maxElements = 400;

private:
    struct Reading {
        EmbeddedObjectText text;
        // By handle: the element each stands for, this one first.
        std::vector<AccessibilityElementRef> elements;
    };
    // What an element's text embeds, as found while it read `text`
    // (nothing: as found just now). Finding out costs the page two calls
    // per embedded element, and the answer holds while the text does.
    struct Embedded {
        std::optional<QString> text;
        QList<AccessibilityElementRef> objects;
    };

    // Whether the element's text embeds other elements.
    bool embeds();
    // The text through what it embeds; nothing when it embeds nothing or
    // cannot be read whole (`embedded` says which).
    std::optional<Reading> read(bool *embedded = nullptr);
    std::optional<Reading> readTree(bool *usedWhatWasKnown);
    bool isBlock(AccessibilityElement &element);
    std::optional<std::pair<qsizetype, qsizetype>> selection(const Reading &reading);
    // A range of the text clamped to its end; nothing when it starts
    // outside it or either end splits a surrogate pair.
    static std::optional<std::pair<qsizetype, qsizetype>> textRange(const QString &text,
                                                                    AccessibilityRange range);

    // By element identity.
    QHash<QString, Embedded> m_embedded;
    QHash<QString, bool> m_blocks;
    AccessibilityElementRef m_element;
};

} // namespace tovalit
