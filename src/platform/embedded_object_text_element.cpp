#include "platform/embedded_object_text_element.h"

#include "platform/accessibility_job.h"
#include "platform/accessibility_thread.h"
#include "platform/cold_read.h"

#include <QChar>

#include <utility>

namespace tovalit {

namespace {

constexpr QChar objectCharacter(EmbeddedObjectText::objectReplacementCharacter);

// Whether the element's text stands for elements it embeds, asked without
// listing them.
bool listsEmbedded(AccessibilityElement &element) {
    return accessibilityValueAs<QList<AccessibilityElementRef>>(
               element.parameterizedAttributeValue(ax::embeddedObjectsForRange,
                                                   AccessibilityRange{0, 0}))
        .has_value();
}

// Whether the element embeds one element at least, whatever its text says.
bool hasEmbedded(AccessibilityElement &element) {
    return accessibilityValueAs<QList<AccessibilityElementRef>>(
               element.parameterizedAttributeValue(ax::embeddedObjectsForRange,
                                                   AccessibilityRange{0, 1}))
        .has_value();
}

// Whether the element says its text is empty, as one that only draws a
// hint does.
bool saysEmpty(AccessibilityElement &element) {
    const auto count =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::characterCount));
    return count && count->length == 0;
}

bool splitsSurrogatePair(const QString &text, qsizetype offset) {
    return offset > 0 && offset < text.size() && text[offset - 1].isHighSurrogate() &&
           text[offset].isLowSurrogate();
}

// A range of the text clamped to its end; nothing when it starts outside
// it or either end splits a surrogate pair.
std::optional<TextRange> textRange(const QString &text, AccessibilityRange range) {
    if (range.location < 0 || range.length < 0 || range.location > text.size())
        return std::nullopt;
    const qsizetype start = qsizetype(range.location);
    const qsizetype end =
        range.length > text.size() - start ? text.size() : start + qsizetype(range.length);
    if (splitsSurrogatePair(text, start) || splitsSurrogatePair(text, end))
        return std::nullopt;
    return TextRange{start, end};
}

quint64 runningJobNumber() {
    const AccessibilityJob *job = AccessibilityThread::currentJob();
    return job ? job->number() : 0;
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
    if (m_embeds)
        return true;
    const auto own = accessibilityValueAs<QString>(m_element->attributeValue(ax::value));
    m_embeds = own && own->contains(objectCharacter) && listsEmbedded(*m_element);
    return m_embeds;
}

const EmbeddedObjectReading *EmbeddedObjectTextElement::reading(bool *embedded) {
    AccessibilityJob *job = AccessibilityThread::currentJob();
    if (!job) {
        // Outside a job (a test, a tool), each read is a reading of its
        // own, within a moment of its own.
        ColdReadDeadline deadline;
        readForJob(0, deadline);
    } else if (job->number() != m_readingJob) {
        readForJob(job->number(), job->coldReads());
    }
    *embedded = m_readingEmbeds;
    return m_reading ? &*m_reading : nullptr;
}

void EmbeddedObjectTextElement::readForJob(quint64 job, ColdReadDeadline &deadline) {
    m_readingJob = job;
    m_own = m_preread ? std::move(*m_preread) : m_element->attributeValue(ax::value);
    m_preread.reset();
    m_selections.clear();
    m_reading.reset();
    m_readingSelectionUnknown = false;
    const bool unread = readColdOwnAgain(deadline);
    const auto own = accessibilityValueAs<QString>(m_own);
    if (own && own->contains(objectCharacter) && (m_embeds || listsEmbedded(*m_element))) {
        m_embeds = true;
        m_readingEmbeds = true;
        m_reading = readSettled(*own, deadline);
        return;
    }
    // A text that embedded elements and cannot be read now is still such
    // a text.
    m_readingEmbeds = unread || (!own && m_embeds);
    m_embeds = m_embeds || unread;
}

bool EmbeddedObjectTextElement::readColdOwnAgain(ColdReadDeadline &deadline) {
    // Firefox answers the first reads of a page's texts with nothing
    // until it keeps them: an editor that has paragraphs and shows no
    // text has not been read. One that says it is empty is: the element
    // it embeds is the hint it draws (Chromium's positioned ::before).
    const auto own = accessibilityValueAs<QString>(m_own);
    if (!own || !own->isEmpty() || saysEmpty(*m_element) || !hasEmbedded(*m_element))
        return false;
    m_own = readAgainWhileUnanswered(
        std::move(m_own), [this] { return m_element->attributeValue(ax::value); },
        [](const std::optional<AccessibilityValue> &read) {
            return accessibilityValueAs<QString>(read) == QString();
        },
        deadline);
    const auto again = accessibilityValueAs<QString>(m_own);
    return !again || !again->contains(objectCharacter);
}

std::optional<EmbeddedObjectReading>
EmbeddedObjectTextElement::readSettled(QString own, ColdReadDeadline &deadline) {
    // Firefox answers the first reads of a page's texts from what it has
    // so far, which lacks the words themselves until the page sends them a
    // moment later: an editor's own text then holds only its paragraphs,
    // and the paragraph at its caret knows no caret. A reading whose caret
    // the editor and its paragraph do not agree on is made again, for a
    // moment at most; once they agree, the editor's texts have come.
    const QString identity = m_element->identity();
    const bool settledBefore = m_knowledge->settled.contains(identity);
    for (;;) {
        EmbeddedObjectReader reader(m_element, *m_knowledge, m_selections, deadline);
        EmbeddedObjectReader::Result read =
            reader.read(own, m_windows ? &*m_windows : nullptr, settledBefore);
        if (read.caretConfirmed || settledBefore || deadline.passed()) {
            if (read.caretConfirmed)
                m_knowledge->settle(identity);
            if (read.reading)
                m_windows = reader.windows();
            m_readingSelectionUnknown = read.selectionUnknown;
            return std::move(read.reading);
        }
        m_selections.clear();
        const auto again = accessibilityValueAs<QString>(m_element->attributeValue(ax::value));
        if (!again || !again->contains(objectCharacter))
            return std::nullopt;
        own = *again;
        m_own = AccessibilityValue(own);
    }
}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::selectionValue(const QString &attribute,
                                          const EmbeddedObjectReading &reading) const {
    const auto &range = reading.selection;
    if (attribute == ax::selectedText) {
        if (!range)
            return AccessibilityValue(QString());
        return AccessibilityValue(
            reading.text.text().mid(range->first, range->second - range->first));
    }
    if (!range)
        return std::nullopt;
    return AccessibilityValue(AccessibilityRange{range->first, range->second - range->first});
}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::attributeValue(const QString &attribute) {
    if (attribute == ax::value) {
        if (!m_embeds) {
            // A plain text needs no more than the one read.
            std::optional<AccessibilityValue> own = m_element->attributeValue(ax::value);
            const auto text = accessibilityValueAs<QString>(own);
            if (!text || (!text->isEmpty() && !text->contains(objectCharacter)))
                return own;
            // Read once for this job: an editor's text is long.
            if (const quint64 job = runningJobNumber(); job != 0 && job != m_readingJob)
                m_preread = std::move(own);
        }
        bool embedded = false;
        const EmbeddedObjectReading *read = reading(&embedded);
        if (!embedded)
            return m_own;
        if (!read)
            return std::nullopt;
        return AccessibilityValue(read->text.text());
    }
    if (attribute == ax::selectedTextRange || attribute == ax::selectedText) {
        bool embedded = false;
        const EmbeddedObjectReading *read = reading(&embedded);
        if (!embedded)
            return m_element->attributeValue(attribute);
        if (!read)
            return std::nullopt;
        return selectionValue(attribute, *read);
    }
    if (attribute == ax::selectionCount) {
        bool embedded = false;
        const EmbeddedObjectReading *read = reading(&embedded);
        if (!embedded)
            return m_element->attributeValue(attribute);
        const bool selected =
            m_readingSelectionUnknown ||
            (read && read->selection && read->selection->second > read->selection->first);
        return AccessibilityValue(AccessibilityRange{0, selected ? 1 : 0});
    }
    // The text read here embeds nothing any more.
    if (attribute == ax::embeddedObjects)
        return std::nullopt;
    if (attribute == ax::pastesOnly && embeds())
        return AccessibilityValue(QStringLiteral("true"));
    return wrapped(m_element->attributeValue(attribute));
}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::rangeValue(const QString &attribute,
                                      const EmbeddedObjectReading &reading,
                                      AccessibilityRange range) const {
    const QString &text = reading.text.text();
    // Reads past the end give what there is, as a plain text's do.
    const auto bounds = textRange(text, range);
    if (!bounds)
        return std::nullopt;
    if (attribute == ax::stringForRange)
        return AccessibilityValue(text.mid(bounds->first, bounds->second - bounds->first));
    const auto span = reading.ownSpan(bounds->first, bounds->second);
    if (!span)
        return std::nullopt;
    AccessibilityElement &element = *reading.elements[std::size_t(span->node)];
    const AccessibilityRange within{span->start, span->end - span->start};
    // Firefox has no place for a paragraph's characters at first either.
    if (auto rectangle = element.parameterizedAttributeValue(ax::boundsForRange, within))
        return rectangle;
    return element.parameterizedAttributeValue(ax::boundsForRange, within);
}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::parameterizedAttributeValue(const QString &attribute,
                                                       const AccessibilityValue &parameter) {
    // The text read here embeds nothing any more.
    if (attribute == ax::embeddedObjectsForRange)
        return std::nullopt;
    const auto *range = std::get_if<AccessibilityRange>(&parameter);
    if (!range || (attribute != ax::stringForRange && attribute != ax::boundsForRange))
        return wrapped(m_element->parameterizedAttributeValue(attribute, parameter));
    bool embedded = false;
    const EmbeddedObjectReading *read = reading(&embedded);
    if (!embedded)
        return m_element->parameterizedAttributeValue(attribute, parameter);
    if (!read)
        return std::nullopt;
    return rangeValue(attribute, *read, *range);
}

bool EmbeddedObjectTextElement::select(const EmbeddedObjectReading &reading,
                                       AccessibilityRange range) {
    if (range.location < 0 || range.length < 0 ||
        range.length > reading.text.text().size() - range.location)
        return false;
    const auto span =
        reading.ownSpan(qsizetype(range.location), qsizetype(range.location + range.length));
    if (!span)
        return false;
    return reading.elements[std::size_t(span->node)]->setAttributeValue(
        ax::selectedTextRange, AccessibilityRange{span->start, span->end - span->start});
}

bool EmbeddedObjectTextElement::setAttributeValue(const QString &attribute,
                                                  const AccessibilityValue &value) {
    if (attribute == ax::value && embeds())
        return false;
    const auto *range = std::get_if<AccessibilityRange>(&value);
    if (attribute != ax::selectedTextRange || !range)
        return m_element->setAttributeValue(attribute, value);
    bool embedded = false;
    const EmbeddedObjectReading *read = reading(&embedded);
    // The caret moves: what the job asked of it no longer holds.
    m_selections.clear();
    m_readingSelectionUnknown = false;
    if (!embedded)
        return m_element->setAttributeValue(attribute, value);
    return read && select(*read, *range);
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
