#include "platform/embedded_object_text_element.h"

#include "platform/accessibility_thread.h"

#include <QChar>

#include <utility>

namespace tovalit {

namespace {

constexpr QChar objectCharacter(EmbeddedObjectText::objectReplacementCharacter);

// Without a word from the page on its layout, the roles of a page's block
// elements.
bool isBlockRole(const QString &role) {
    static const QStringList blocks = {QStringLiteral("paragraph"),
                                       QStringLiteral("section"),
                                       QStringLiteral("heading"),
                                       QStringLiteral("list"),
                                       QStringLiteral("list item"),
                                       QStringLiteral("block quote"),
                                       QStringLiteral("table"),
                                       QStringLiteral("table row"),
                                       QStringLiteral("form"),
                                       QStringLiteral("article"),
                                       QStringLiteral("description list")};
    return blocks.contains(role);
}

std::optional<QList<AccessibilityElementRef>> embeddedIn(AccessibilityElement &element) {
    auto objects = accessibilityValueAs<QList<AccessibilityElementRef>>(
        element.attributeValue(ax::embeddedObjects));
    if (!objects || objects->isEmpty() || objects->contains(nullptr))
        return std::nullopt;
    return objects;
}

bool splitsSurrogatePair(const QString &text, qsizetype offset) {
    return offset > 0 && offset < text.size() && text[offset - 1].isHighSurrogate() &&
           text[offset].isLowSurrogate();
}

} // namespace

AccessibilityElementRef EmbeddedObjectTextElement::wrap(AccessibilityElementRef element,
                                                        std::shared_ptr<Knowledge> knowledge) {
    if (!element || dynamic_cast<EmbeddedObjectTextElement *>(element.get()))
        return element;
    if (!knowledge)
        knowledge = std::make_shared<Knowledge>();
    return std::make_shared<EmbeddedObjectTextElement>(std::move(element), std::move(knowledge));
}

EmbeddedObjectTextElement::EmbeddedObjectTextElement(AccessibilityElementRef element,
                                                     std::shared_ptr<Knowledge> knowledge)
    : m_element(std::move(element))
    , m_knowledge(std::move(knowledge)) {}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::wrapped(std::optional<AccessibilityValue> value) const {
    if (!value)
        return value;
    if (auto *element = std::get_if<AccessibilityElementRef>(&*value))
        return AccessibilityValue(wrap(*element, m_knowledge));
    if (auto *elements = std::get_if<QList<AccessibilityElementRef>>(&*value)) {
        QList<AccessibilityElementRef> result;
        result.reserve(elements->size());
        for (const AccessibilityElementRef &element : *elements)
            result.append(wrap(element, m_knowledge));
        return AccessibilityValue(result);
    }
    return value;
}

QString EmbeddedObjectTextElement::identity() const {
    return m_element->identity();
}

bool EmbeddedObjectTextElement::embeds() {
    if (m_knowledge->embedded.contains(m_element->identity()))
        return true;
    const auto objects = embeddedIn(*m_element);
    if (!objects)
        return false;
    m_knowledge->embedded.insert(m_element->identity(), Embedded{std::nullopt, *objects});
    return true;
}

std::optional<EmbeddedObjectTextElement::Reading> EmbeddedObjectTextElement::read(bool *embedded) {
    const quint64 job = AccessibilityThread::currentJob();
    if (job == 0 || job != m_readingJob) {
        m_readingJob = job;
        m_readingEmbeds = embeds();
        m_reading = m_readingEmbeds ? readWhole() : std::nullopt;
    }
    if (embedded)
        *embedded = m_readingEmbeds;
    return m_reading;
}

std::optional<EmbeddedObjectTextElement::Reading> EmbeddedObjectTextElement::readWhole() {
    if (m_knowledge->embedded.size() > maxKnown) {
        m_knowledge->embedded.clear();
        m_knowledge->blocks.clear();
        if (!embeds())
            return std::nullopt;
    }
    bool usedWhatWasKnown = false;
    std::optional<Reading> reading = readTree(&usedWhatWasKnown);
    // An element whose text reads the same may still have been replaced
    // (an editor that draws a paragraph anew): find everything out again.
    if (!reading && usedWhatWasKnown) {
        m_knowledge->embedded.clear();
        m_knowledge->blocks.clear();
        if (embeds())
            reading = readTree(&usedWhatWasKnown);
    }
    return reading;
}

std::optional<EmbeddedObjectTextElement::Reading>
EmbeddedObjectTextElement::readTree(bool *usedWhatWasKnown) {
    Reading reading;
    reading.elements.push_back(m_element);
    const auto reader = [this, &reading,
                         usedWhatWasKnown](int handle) -> std::optional<EmbeddedObjectNode> {
        if (handle < 0 || std::size_t(handle) >= reading.elements.size())
            return std::nullopt;
        AccessibilityElement &element = *reading.elements[std::size_t(handle)];
        EmbeddedObjectNode node;
        // An embedded element without text of its own (an image) is empty;
        // one that answers nothing at all is gone.
        const auto text = accessibilityValueAs<QString>(element.attributeValue(ax::value));
        if (!text && (handle == 0 || !element.attributeValue(ax::role)))
            return std::nullopt;
        node.text = text.value_or(QString());
        node.block = handle == 0 || isBlock(element);
        QList<AccessibilityElementRef> objects;
        if (node.text.contains(objectCharacter)) {
            const QString identity = element.identity();
            auto known = m_knowledge->embedded.find(identity);
            if (known != m_knowledge->embedded.end() &&
                (!known->text || *known->text == node.text)) {
                if (known->text)
                    *usedWhatWasKnown = true;
                known->text = node.text;
                objects = known->objects;
            } else {
                // An element that lists nothing keeps its characters.
                objects = embeddedIn(element).value_or(QList<AccessibilityElementRef>());
                m_knowledge->embedded.insert(identity, Embedded{node.text, objects});
            }
        }
        // Each U+FFFC must have its element, or offsets would land in the
        // wrong one.
        if (!objects.isEmpty() && node.text.count(objectCharacter) != objects.size())
            return std::nullopt;
        for (const AccessibilityElementRef &object : std::as_const(objects)) {
            node.objects.append(int(reading.elements.size()));
            reading.elements.push_back(object);
        }
        return node;
    };
    std::optional<EmbeddedObjectText> text = EmbeddedObjectText::read(reader, maxElements);
    if (!text)
        return std::nullopt;
    reading.text = std::move(*text);
    return reading;
}

bool EmbeddedObjectTextElement::isBlock(AccessibilityElement &element) {
    const QString identity = element.identity();
    if (const auto known = m_knowledge->blocks.constFind(identity);
        known != m_knowledge->blocks.constEnd())
        return *known;
    bool block = false;
    if (const auto display = accessibilityValueAs<QString>(element.attributeValue(ax::display));
        display && !display->isEmpty())
        block = !display->startsWith(QLatin1String("inline"));
    else
        block = isBlockRole(accessibilityValueAs<QString>(element.attributeValue(ax::role))
                                .value_or(QString())
                                .toLower());
    m_knowledge->blocks.insert(identity, block);
    return block;
}

std::optional<std::pair<qsizetype, qsizetype>>
EmbeddedObjectTextElement::selection(const Reading &reading) {
    const auto rangeOf =
        [](AccessibilityElement &element) -> std::optional<std::pair<qsizetype, qsizetype>> {
        const auto range =
            accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
        if (!range || range->location < 0 || range->length < 0)
            return std::nullopt;
        return std::pair{qsizetype(range->location), qsizetype(range->location + range->length)};
    };
    const auto own = rangeOf(*m_element);
    if (!own)
        return std::nullopt;
    return reading.text.selection(
        *own, [&reading, &rangeOf](int node) -> std::optional<std::pair<qsizetype, qsizetype>> {
            if (node < 0 || std::size_t(node) >= reading.elements.size())
                return std::nullopt;
            return rangeOf(*reading.elements[std::size_t(node)]);
        });
}

std::optional<std::pair<qsizetype, qsizetype>>
EmbeddedObjectTextElement::textRange(const QString &text, AccessibilityRange range) {
    if (range.location < 0 || range.length < 0 || range.location > text.size())
        return std::nullopt;
    const qsizetype start = qsizetype(range.location);
    const qsizetype end =
        range.length > text.size() - start ? text.size() : start + qsizetype(range.length);
    if (splitsSurrogatePair(text, start) || splitsSurrogatePair(text, end))
        return std::nullopt;
    return std::pair{start, end};
}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::attributeValue(const QString &attribute) {
    if (attribute == ax::value) {
        if (!m_knowledge->embedded.contains(m_element->identity())) {
            // A plain text needs no more than the one read.
            std::optional<AccessibilityValue> own = m_element->attributeValue(ax::value);
            const auto text = accessibilityValueAs<QString>(own);
            if (!text || !text->contains(objectCharacter) || !embeds())
                return own;
        }
        const std::optional<Reading> reading = read();
        if (!reading)
            return std::nullopt;
        return AccessibilityValue(reading->text.text());
    }
    if (attribute == ax::selectedTextRange || attribute == ax::selectedText) {
        bool embedded = false;
        const std::optional<Reading> reading = read(&embedded);
        if (!embedded)
            return m_element->attributeValue(attribute);
        if (!reading)
            return std::nullopt;
        const auto range = selection(*reading);
        if (attribute == ax::selectedText) {
            if (!range)
                return AccessibilityValue(QString());
            return AccessibilityValue(
                reading->text.text().mid(range->first, range->second - range->first));
        }
        if (!range)
            return std::nullopt;
        return AccessibilityValue(AccessibilityRange{range->first, range->second - range->first});
    }
    // The text read here embeds nothing any more.
    if (attribute == ax::embeddedObjects)
        return std::nullopt;
    return wrapped(m_element->attributeValue(attribute));
}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::parameterizedAttributeValue(const QString &attribute,
                                                       const AccessibilityValue &parameter) {
    const auto *range = std::get_if<AccessibilityRange>(&parameter);
    if (!range || (attribute != ax::stringForRange && attribute != ax::boundsForRange))
        return wrapped(m_element->parameterizedAttributeValue(attribute, parameter));
    bool embedded = false;
    const std::optional<Reading> reading = read(&embedded);
    if (!embedded)
        return m_element->parameterizedAttributeValue(attribute, parameter);
    if (!reading)
        return std::nullopt;
    const QString &text = reading->text.text();
    // Reads past the end give what there is, as a plain text's do.
    const auto bounds = textRange(text, *range);
    if (!bounds)
        return std::nullopt;
    if (attribute == ax::stringForRange)
        return AccessibilityValue(text.mid(bounds->first, bounds->second - bounds->first));
    const auto span = reading->text.span(bounds->first, bounds->second);
    if (!span)
        return std::nullopt;
    return reading->elements[std::size_t(span->node)]->parameterizedAttributeValue(
        ax::boundsForRange, AccessibilityRange{span->start, span->end - span->start});
}

bool EmbeddedObjectTextElement::setAttributeValue(const QString &attribute,
                                                  const AccessibilityValue &value) {
    if (attribute == ax::value && embeds())
        return false;
    const auto *range = std::get_if<AccessibilityRange>(&value);
    if (attribute != ax::selectedTextRange || !range)
        return m_element->setAttributeValue(attribute, value);
    bool embedded = false;
    const std::optional<Reading> reading = read(&embedded);
    if (!embedded)
        return m_element->setAttributeValue(attribute, value);
    if (!reading || range->location < 0 || range->length < 0 ||
        range->length > reading->text.text().size() - range->location)
        return false;
    const auto span =
        reading->text.span(qsizetype(range->location), qsizetype(range->location + range->length));
    if (!span)
        return false;
    return reading->elements[std::size_t(span->node)]->setAttributeValue(
        ax::selectedTextRange, AccessibilityRange{span->start, span->end - span->start});
}

bool EmbeddedObjectTextElement::isAttributeSettable(const QString &attribute) {
    if (attribute == ax::value && embeds())
        return false;
    return m_element->isAttributeSettable(attribute);
}

QStringList EmbeddedObjectTextElement::attributeNames() {
    return m_element->attributeNames();
}

std::optional<qint32> EmbeddedObjectTextElement::processIdentifier() {
    return m_element->processIdentifier();
}

} // namespace tovalit
