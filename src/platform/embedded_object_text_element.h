#pragma once

#include "platform/accessibility_element.h"
#include "platform/embedded_object_text.h"

#include <QHash>

#include <memory>
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
    struct Embedded;

public:
    // What the elements reached from one another were found to embed and
    // how they are laid out. Finding out costs the page two calls per
    // embedded element, and the answers hold while the texts stay the
    // same; every element reached from a wrapped one shares its knowledge.
    // Used on the accessibility thread only.
    struct Knowledge {
        QHash<QString, Embedded> embedded; // by element identity
        QHash<QString, bool> blocks;
    };

    // `element` as it is when it is empty or wrapped already. Without
    // `knowledge`, it starts knowing nothing.
    static AccessibilityElementRef wrap(AccessibilityElementRef element,
                                        std::shared_ptr<Knowledge> knowledge = nullptr);

    EmbeddedObjectTextElement(AccessibilityElementRef element,
                              std::shared_ptr<Knowledge> knowledge);

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
    static constexpr int maxElements = 2000;
    // Elements known at most; beyond, what is known is forgotten.
    static constexpr int maxKnown = 8192;

private:
    // What an element's text embeds, as found while it read `text`
    // (nothing: as found just now).
    struct Embedded {
        std::optional<QString> text;
        QList<AccessibilityElementRef> objects;
    };
    struct Reading {
        EmbeddedObjectText text;
        // By handle: the element each stands for, this one first.
        std::vector<AccessibilityElementRef> elements;
    };

    std::optional<AccessibilityValue> wrapped(std::optional<AccessibilityValue> value) const;
    // Whether the element's text embeds other elements.
    bool embeds();
    // The text through what it embeds; nothing when it embeds nothing or
    // cannot be read whole (`embedded` says which). Read once per job of
    // the accessibility thread.
    std::optional<Reading> read(bool *embedded = nullptr);
    std::optional<Reading> readWhole();
    std::optional<Reading> readTree(bool *usedWhatWasKnown);
    bool isBlock(AccessibilityElement &element);
    std::optional<std::pair<qsizetype, qsizetype>> selection(const Reading &reading);
    // A range of the text clamped to its end; nothing when it starts
    // outside it or either end splits a surrogate pair.
    static std::optional<std::pair<qsizetype, qsizetype>> textRange(const QString &text,
                                                                    AccessibilityRange range);

    AccessibilityElementRef m_element;
    std::shared_ptr<Knowledge> m_knowledge;
    // The reading of the job that read last.
    quint64 m_readingJob = 0;
    bool m_readingEmbeds = false;
    std::optional<Reading> m_reading;
};

} // namespace tovalit
