#include "platform/embedded_object_text_element.h"

#include "platform/accessibility_thread.h"
#include "platform/cold_read.h"
#include "support/textkit.h"

#include <QChar>

#include <algorithm>
#include <unordered_map>
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
    if (m_embeds)
        return true;
    const auto own = accessibilityValueAs<QString>(m_element->attributeValue(ax::value));
    m_embeds = own && own->contains(objectCharacter) && listsEmbedded(*m_element);
    return m_embeds;
}

std::optional<EmbeddedObjectTextElement::Reading> EmbeddedObjectTextElement::read(bool *embedded) {
    const quint64 job = AccessibilityThread::currentJob();
    if (job == 0 || job != m_readingJob) {
        m_readingJob = job;
        m_own = m_preread ? std::move(*m_preread) : m_element->attributeValue(ax::value);
        m_preread.reset();
        m_carets.clear();
        m_reading.reset();
        auto own = accessibilityValueAs<QString>(m_own);
        // Firefox answers the first reads of a page's texts with nothing
        // until it keeps them: an editor that has paragraphs and shows no
        // text has not been read.
        bool unread = false;
        if (own && own->isEmpty() && hasEmbedded(*m_element)) {
            m_own = askedAgainWhileEmpty(*m_element, std::move(m_own));
            own = accessibilityValueAs<QString>(m_own);
            unread = !own || !own->contains(objectCharacter);
        }
        if (own && own->contains(objectCharacter) && (m_embeds || listsEmbedded(*m_element))) {
            m_embeds = true;
            m_readingEmbeds = true;
            m_reading = readWindow(*own);
        } else {
            // A text that embedded elements and cannot be read now is
            // still such a text.
            m_readingEmbeds = unread || (!own && m_embeds);
            m_embeds = m_embeds || unread;
        }
    }
    if (embedded)
        *embedded = m_readingEmbeds;
    return m_reading;
}

std::optional<EmbeddedObjectTextElement::Reading>
EmbeddedObjectTextElement::readWindow(const QString &own) {
    QList<qsizetype> links;
    for (qsizetype index = 0; index < own.size(); ++index) {
        if (own[index] == objectCharacter)
            links.append(index);
    }
    const qsizetype count = links.size();

    // The paragraphs read before, counted from the same one, with the end
    // moved by as many as came or went since (a paste of several lines
    // makes paragraphs of its own).
    std::optional<Window> window;
    if (m_window) {
        Window known = *m_window;
        known.last += count - known.count;
        known.count = count;
        if ((known.fromStart || (known.first >= 0 && known.first < count)) &&
            (known.toEnd || (known.last >= known.first && known.last < count)))
            window = known;
    }
    const bool around = !window;
    if (around) {
        // The paragraph that holds the caret. The editor's own selection
        // is not asked here: Chromium walks the whole document to answer
        // it, a second over ten thousand paragraphs, while the caret comes
        // at once; the paragraphs around it say what is selected.
        const auto caret = ownCaret();
        qsizetype start = 0;
        if (caret && *caret <= own.size())
            start = *caret;
        const qsizetype end = start;
        Window fresh;
        fresh.count = count;
        fresh.first = std::upper_bound(links.cbegin(), links.cend(), start) - links.cbegin() - 1;
        if (fresh.first < 0) {
            fresh.fromStart = true;
            fresh.first = 0;
        }
        fresh.last = std::lower_bound(links.cbegin(), links.cend(), std::max(start, end - 1)) -
                     links.cbegin();
        if (fresh.last >= count) {
            fresh.toEnd = true;
            fresh.last = count - 1;
        }
        window = fresh;
    }

    // Handle 0 is this element, read as the part of its own text that the
    // window holds; every other element is read once, however often the
    // window grows.
    std::vector<AccessibilityElementRef> elements{m_element};
    QHash<qsizetype, int> linkHandles;
    QHash<int, std::optional<EmbeddedObjectNode>> nodes;
    qsizetype ownStart = 0;
    qsizetype ownEnd = 0;
    const auto linksAt = [this](qsizetype first,
                                qsizetype last) -> std::optional<QList<AccessibilityElementRef>> {
        auto objects = accessibilityValueAs<QList<AccessibilityElementRef>>(
            m_element->parameterizedAttributeValue(ax::embeddedObjectsForRange,
                                                   AccessibilityRange{first, last - first + 1}));
        if (!objects || objects->size() != last - first + 1 || objects->contains(nullptr))
            return std::nullopt;
        return objects;
    };
    const auto fetchLinks = [&](qsizetype first, qsizetype last) {
        qsizetype index = first;
        while (index <= last) {
            if (linkHandles.contains(index)) {
                ++index;
                continue;
            }
            qsizetype runEnd = index;
            while (runEnd + 1 <= last && !linkHandles.contains(runEnd + 1))
                ++runEnd;
            // The window grows a paragraph at a time, and each growth
            // would be a round of calls to the page of its own: a run
            // reaches a few paragraphs further where none were read, which
            // the next growths then find.
            qsizetype from = index;
            while (from > 0 && index - from < linksAhead && !linkHandles.contains(from - 1))
                --from;
            qsizetype to = runEnd;
            while (to + 1 < count && to - runEnd < linksAhead && !linkHandles.contains(to + 1))
                ++to;
            auto objects = linksAt(from, to);
            if (!objects && (from != index || to != runEnd)) {
                from = index;
                to = runEnd;
                objects = linksAt(from, to);
            }
            if (!objects)
                return false;
            for (const AccessibilityElementRef &object : *objects) {
                linkHandles.insert(from++, int(elements.size()));
                elements.push_back(object);
            }
            index = runEnd + 1;
        }
        return true;
    };
    const auto readNode = [&](int handle) -> std::optional<EmbeddedObjectNode> {
        if (handle == 0) {
            const qsizetype first = window->fromStart ? 0 : window->first;
            const qsizetype last = window->toEnd ? count - 1 : window->last;
            ownStart = window->fromStart ? 0 : links[first];
            ownEnd = window->toEnd ? own.size() : links[last] + 1;
            if (!fetchLinks(first, last))
                return std::nullopt;
            EmbeddedObjectNode node;
            node.text = own.mid(ownStart, ownEnd - ownStart);
            node.block = true;
            for (qsizetype link = first; link <= last; ++link)
                node.objects.append(linkHandles.value(link));
            return node;
        }
        if (handle < 0 || std::size_t(handle) >= elements.size())
            return std::nullopt;
        if (const auto known = nodes.constFind(handle); known != nodes.constEnd())
            return *known;
        std::optional<EmbeddedObjectNode> node = readEmbedded(elements, handle);
        nodes.insert(handle, node);
        return node;
    };

    for (;;) {
        std::optional<EmbeddedObjectText> text = EmbeddedObjectText::read(readNode, maxElements);
        if (!text)
            return std::nullopt;
        Reading reading{std::move(*text), elements, ownStart, ownEnd, own.size(), count};
        if (!around) {
            m_window = window;
            return reading;
        }
        // As many paragraphs as the text before and after the selection
        // needs, and no more.
        // Without a selection to read around, the paragraphs the editor
        // says it is in are all there is to go by.
        bool growBefore = false;
        bool growAfter = false;
        const auto selected = selection(reading, &growBefore, &growAfter);
        if (!selected) {
            m_window = window;
            return reading;
        }
        const QString &value = reading.text.text();
        const qsizetype start = selected->first;
        const qsizetype end = selected->second;
        // A selection that runs on past the paragraphs read is read whole.
        const bool before =
            !window->fromStart &&
            (growBefore || textkit::graphemeCount(QStringView(value).left(start)) < contextReach);
        const bool after =
            !window->toEnd &&
            (growAfter || textkit::graphemeCount(QStringView(value).mid(end)) < contextReach);
        if (!before && !after) {
            m_window = window;
            return reading;
        }
        if (before) {
            if (window->first == 0)
                window->fromStart = true;
            else
                --window->first;
        }
        if (after) {
            if (window->last == count - 1)
                window->toEnd = true;
            else
                ++window->last;
        }
    }
}

std::optional<EmbeddedObjectNode>
EmbeddedObjectTextElement::readEmbedded(std::vector<AccessibilityElementRef> &elements,
                                        int handle) {
    AccessibilityElementRef element = elements[std::size_t(handle)];
    EmbeddedObjectNode node;
    auto text = accessibilityValueAs<QString>(element->attributeValue(ax::value));
    // Firefox answers the first reads of a paragraph reached this way with
    // nothing, until the page has sent it the texts, a few dozen reads
    // later: asked again meanwhile, for a moment at most.
    // One that stays empty leaves the whole text unread (a capture reads
    // again a moment later) rather than read without it.
    if (text && text->isEmpty()) {
        const QString identity = element->identity();
        if (!m_knowledge->asked.contains(identity)) {
            if (m_knowledge->asked.size() >= maxKnown)
                m_knowledge->asked.clear();
            m_knowledge->asked.insert(identity);
            text = accessibilityValueAs<QString>(
                askedAgainWhileEmpty(*element, AccessibilityValue(QString())));
            if (text && text->isEmpty())
                return std::nullopt;
        }
    }
    // An embedded element without text of its own (an image) is empty;
    // one that answers nothing at all is gone.
    if (!text && !element->attributeValue(ax::role))
        return std::nullopt;
    node.text = text.value_or(QString());
    node.block = isBlock(*element);
    if (const qsizetype characters = node.text.count(objectCharacter); characters > 0) {
        const auto objects = accessibilityValueAs<QList<AccessibilityElementRef>>(
            element->parameterizedAttributeValue(ax::embeddedObjectsForRange,
                                                 AccessibilityRange{0, characters}));
        if (objects && objects->size() == characters && !objects->contains(nullptr)) {
            for (const AccessibilityElementRef &object : *objects) {
                node.objects.append(int(elements.size()));
                elements.push_back(object);
            }
        } else if (objects || listsEmbedded(*element)) {
            // Each U+FFFC must have its element, or offsets would land in
            // the wrong one.
            return std::nullopt;
        }
        // An element that lists nothing keeps its characters.
    }
    return node;
}

std::optional<AccessibilityValue>
EmbeddedObjectTextElement::askedAgainWhileEmpty(AccessibilityElement &element,
                                                std::optional<AccessibilityValue> value) {
    return readAgainWhileUnanswered(
        std::move(value), [&element] { return element.attributeValue(ax::value); },
        [](const std::optional<AccessibilityValue> &read) {
            return accessibilityValueAs<QString>(read) == QString();
        });
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
    // A chat's editor makes new paragraphs all day.
    if (m_knowledge->blocks.size() >= maxKnown)
        m_knowledge->blocks.clear();
    m_knowledge->blocks.insert(identity, block);
    return block;
}

std::optional<qsizetype> EmbeddedObjectTextElement::ownCaret() {
    if (const auto known = m_carets.find(0); known != m_carets.end())
        return known->second ? std::optional(known->second->first) : std::nullopt;
    // Firefox knows no caret in an editor whose text the page has not sent
    // yet either.
    const auto read = [this]() -> std::optional<std::pair<qsizetype, qsizetype>> {
        const auto range =
            accessibilityValueAs<AccessibilityRange>(m_element->attributeValue(ax::caret));
        if (!range || range->location < 0)
            return std::nullopt;
        return std::pair{qsizetype(range->location), qsizetype(range->location)};
    };
    const auto caret =
        readAgainWhileUnanswered(read(), read, [](const auto &found) { return !found; });
    m_carets.emplace(0, caret);
    return caret ? std::optional(caret->first) : std::nullopt;
}

std::optional<std::pair<qsizetype, qsizetype>>
EmbeddedObjectTextElement::nodeSelection(const Reading &reading, int node) {
    if (node < 1 || std::size_t(node) >= reading.elements.size())
        return std::nullopt;
    if (const auto known = m_carets.find(node); known != m_carets.end())
        return known->second;
    AccessibilityElement &element = *reading.elements[std::size_t(node)];
    const auto rangeOf = [&element]() -> std::optional<std::pair<qsizetype, qsizetype>> {
        const auto range =
            accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
        if (!range || range->location < 0 || range->length < 0)
            return std::nullopt;
        return std::pair{qsizetype(range->location), qsizetype(range->location + range->length)};
    };
    // The element the caret is in says where, once Firefox keeps its text.
    auto range = rangeOf();
    if (!range)
        range = rangeOf();
    m_carets.emplace(node, range);
    return range;
}

std::pair<qsizetype, qsizetype> EmbeddedObjectTextElement::ownTextSelection(const Reading &reading,
                                                                            qsizetype caret,
                                                                            bool *growBefore,
                                                                            bool *growAfter) {
    // What is selected in the editor's own text (a first line typed
    // straight into it) only the editor says, and a browser walks its
    // whole document to say it: asked only of an editor short enough for
    // that to be quick.
    std::pair<qsizetype, qsizetype> selected{caret, caret};
    if (reading.linkCount <= maxLinksForOwnSelection) {
        auto known = m_carets.find(ownTextSelectionKey);
        if (known == m_carets.end()) {
            std::optional<std::pair<qsizetype, qsizetype>> range;
            if (const auto own = accessibilityValueAs<AccessibilityRange>(
                    m_element->attributeValue(ax::selectedTextRange));
                own && own->location >= 0 && own->length >= 0)
                range = std::pair{qsizetype(own->location), qsizetype(own->location + own->length)};
            known = m_carets.emplace(ownTextSelectionKey, range).first;
        }
        // The caret is at one end of it, or it is not the selection.
        if (const auto &range = known->second;
            range && (range->first == caret || range->second == caret))
            selected = *range;
    }
    if (selected.first < reading.ownStart) {
        *growBefore = true;
        selected.first = reading.ownStart;
    }
    if (selected.second > reading.ownEnd) {
        *growAfter = reading.ownEnd < reading.ownSize;
        selected.second = reading.ownEnd;
    }
    return selected;
}

std::optional<std::pair<qsizetype, qsizetype>>
EmbeddedObjectTextElement::ownSelection(const Reading &reading, bool *growBefore, bool *growAfter) {
    *growBefore = false;
    *growAfter = false;
    const auto caret = ownCaret();
    // A selection outside the paragraphs read is not in the value.
    if (!caret || *caret < reading.ownStart || *caret > reading.ownEnd)
        return std::nullopt;
    const auto paragraphAt = [&reading](qsizetype own) -> std::optional<int> {
        if (own < reading.ownStart || own >= reading.ownEnd)
            return std::nullopt;
        return reading.text.objectAt({0, own - reading.ownStart});
    };
    const std::optional<int> at = paragraphAt(*caret);
    const auto selected = at ? nodeSelection(reading, *at) : std::nullopt;
    // A caret that no paragraph holds stands in the editor's own text.
    if (!selected)
        return ownTextSelection(reading, *caret, growBefore, growAfter);
    if (selected->first == selected->second)
        return std::pair{*caret, *caret};
    // A selection that reaches an end of the caret's paragraph may go on
    // into the next ones: as far as they, each on its own, say they are
    // selected.
    const auto shown = [&reading](int node) {
        const QString text = reading.text.nodeText(node);
        return text.endsWith(QLatin1Char('\n')) ? text.size() - 1 : text.size();
    };
    qsizetype first = *caret;
    for (auto range = selected; range->first == 0;) {
        if (first == 0)
            break;
        if (first - 1 < reading.ownStart) {
            *growBefore = true;
            break;
        }
        const std::optional<int> previous = paragraphAt(first - 1);
        if (!previous)
            break;
        range = nodeSelection(reading, *previous);
        if (!range || range->first == range->second)
            break;
        --first;
    }
    qsizetype last = *caret;
    for (auto range = selected; range->second >= shown(*paragraphAt(last));) {
        if (last + 1 >= reading.ownEnd) {
            *growAfter = reading.ownEnd < reading.ownSize;
            break;
        }
        const std::optional<int> next = paragraphAt(last + 1);
        if (!next)
            break;
        range = nodeSelection(reading, *next);
        if (!range || range->first == range->second)
            break;
        ++last;
    }
    return std::pair{first, last + 1};
}

std::optional<std::pair<qsizetype, qsizetype>>
EmbeddedObjectTextElement::selection(const Reading &reading, bool *growBefore, bool *growAfter) {
    bool before = false;
    bool after = false;
    const auto own =
        ownSelection(reading, growBefore ? growBefore : &before, growAfter ? growAfter : &after);
    if (!own)
        return std::nullopt;
    return reading.text.selection(
        {own->first - reading.ownStart, own->second - reading.ownStart},
        [this, &reading](int node) { return nodeSelection(reading, node); });
}

qsizetype EmbeddedObjectTextElement::ownOffset(const Reading &reading, int node, qsizetype offset) {
    return node == 0 ? offset + reading.ownStart : offset;
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
        if (!m_embeds) {
            // A plain text needs no more than the one read.
            std::optional<AccessibilityValue> own = m_element->attributeValue(ax::value);
            const auto text = accessibilityValueAs<QString>(own);
            if (!text || (!text->isEmpty() && !text->contains(objectCharacter)))
                return own;
            // Read once for this job: an editor's text is long.
            if (const quint64 job = AccessibilityThread::currentJob();
                job != 0 && job != m_readingJob)
                m_preread = std::move(own);
        }
        bool embedded = false;
        const std::optional<Reading> reading = read(&embedded);
        if (!embedded)
            return m_own;
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
    // The text read here embeds nothing any more.
    if (attribute == ax::embeddedObjectsForRange)
        return std::nullopt;
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
    AccessibilityElement &element = *reading->elements[std::size_t(span->node)];
    const AccessibilityRange within{ownOffset(*reading, span->node, span->start),
                                    span->end - span->start};
    // Firefox has no place for a paragraph's characters at first either.
    if (auto rectangle = element.parameterizedAttributeValue(ax::boundsForRange, within))
        return rectangle;
    return element.parameterizedAttributeValue(ax::boundsForRange, within);
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
    m_carets.clear();
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
        ax::selectedTextRange,
        AccessibilityRange{ownOffset(*reading, span->node, span->start), span->end - span->start});
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
