#include "platform/embedded_object_text_element.h"

#include "platform/accessibility_thread.h"
#include "platform/cold_read.h"
#include "support/textkit.h"

#include <QChar>

#include <algorithm>
#include <functional>
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
    // An element read in part: its own text, where its embedded elements
    // stand in it, the ones read and the handles they got.
    struct Linked {
        AccessibilityElementRef element;
        QString own;
        QList<qsizetype> links;
        Window window;
        bool block = true;
        QHash<qsizetype, int> handles; // by link

        qsizetype count() const { return links.size(); }
        qsizetype firstLink() const { return window.fromStart ? 0 : window.first; }
        qsizetype lastLink() const { return window.toEnd ? count() - 1 : window.last; }
        qsizetype start() const { return window.fromStart ? 0 : links[window.first]; }
        qsizetype end() const { return window.toEnd ? own.size() : links[window.last] + 1; }
        qsizetype shown() const {
            return block && own.endsWith(QLatin1Char('\n')) ? own.size() - 1 : own.size();
        }
    };
    const auto linksIn = [](const QString &text) {
        QList<qsizetype> links;
        for (qsizetype index = 0; index < text.size(); ++index) {
            if (text[index] == objectCharacter)
                links.append(index);
        }
        return links;
    };
    // The part read before, counted from the same first element, with the
    // end moved by as many as came or went since (a paste of several lines
    // makes paragraphs of its own).
    const auto readAgain = [](Window known, qsizetype count) -> std::optional<Window> {
        known.last += count - known.count;
        known.count = count;
        if ((known.fromStart || (known.first >= 0 && known.first < count)) &&
            (known.toEnd || (known.last >= known.first && known.last < count)))
            return known;
        return std::nullopt;
    };
    // The embedded elements at a place of the text, or on either side of
    // it.
    const auto around = [](const QList<qsizetype> &links, qsizetype at) {
        Window fresh;
        fresh.count = links.size();
        fresh.first = std::upper_bound(links.cbegin(), links.cend(), at) - links.cbegin() - 1;
        if (fresh.first < 0) {
            fresh.fromStart = true;
            fresh.first = 0;
        }
        fresh.last = std::lower_bound(links.cbegin(), links.cend(), at) - links.cbegin();
        if (fresh.last >= fresh.count) {
            fresh.toEnd = true;
            fresh.last = fresh.count - 1;
        }
        return fresh;
    };

    std::unordered_map<int, Linked> parts;
    Linked &root = parts[0];
    root.element = m_element;
    root.own = own;
    root.links = linksIn(own);
    std::optional<Window> known = m_window ? readAgain(*m_window, root.count()) : std::nullopt;
    const bool fresh = !known;
    if (fresh) {
        // The paragraph that holds the caret. The editor's own selection
        // is not asked here: Chromium walks the whole document to answer
        // it, a second over ten thousand paragraphs, while the caret comes
        // at once; the paragraphs around it say what is selected.
        const auto caret = ownCaret();
        known = around(root.links, caret && *caret <= own.size() ? *caret : 0);
    }
    root.window = *known;

    // Handle 0 is this element; every other element is read once, however
    // often the parts read grow. Each knows where it stands in the own
    // text of the element that embeds it.
    std::vector<AccessibilityElementRef> elements{m_element};
    std::unordered_map<int, std::pair<int, qsizetype>> placements;
    QHash<int, std::optional<EmbeddedObjectNode>> nodes;
    const auto add = [&elements, &placements](const AccessibilityElementRef &element, int parent,
                                              qsizetype offset) {
        const int handle = int(elements.size());
        elements.push_back(element);
        placements.emplace(handle, std::pair{parent, offset});
        return handle;
    };
    const auto linksAt = [](Linked &part, qsizetype first,
                            qsizetype last) -> std::optional<QList<AccessibilityElementRef>> {
        auto objects = accessibilityValueAs<QList<AccessibilityElementRef>>(
            part.element->parameterizedAttributeValue(ax::embeddedObjectsForRange,
                                                      AccessibilityRange{first, last - first + 1}));
        if (!objects || objects->size() != last - first + 1 || objects->contains(nullptr))
            return std::nullopt;
        return objects;
    };
    const auto fetchLinks = [&](int handle, Linked &part, qsizetype first, qsizetype last) {
        qsizetype index = first;
        while (index <= last) {
            if (part.handles.contains(index)) {
                ++index;
                continue;
            }
            qsizetype runEnd = index;
            while (runEnd + 1 <= last && !part.handles.contains(runEnd + 1))
                ++runEnd;
            // The part grows an element at a time, and each growth would
            // be a round of calls to the page of its own: a run reaches a
            // few elements further where none were read, which the next
            // growths then find.
            qsizetype from = index;
            while (from > 0 && index - from < linksAhead && !part.handles.contains(from - 1))
                --from;
            qsizetype to = runEnd;
            while (to + 1 < part.count() && to - runEnd < linksAhead &&
                   !part.handles.contains(to + 1))
                ++to;
            auto objects = linksAt(part, from, to);
            if (!objects && (from != index || to != runEnd)) {
                from = index;
                to = runEnd;
                objects = linksAt(part, from, to);
            }
            if (!objects)
                return false;
            for (const AccessibilityElementRef &object : *objects) {
                part.handles.insert(from, add(object, handle, part.links[from]));
                ++from;
            }
            index = runEnd + 1;
        }
        return true;
    };
    const auto partNode = [&](int handle, Linked &part) -> std::optional<EmbeddedObjectNode> {
        const qsizetype first = part.firstLink();
        const qsizetype last = part.lastLink();
        if (!fetchLinks(handle, part, first, last))
            return std::nullopt;
        EmbeddedObjectNode node;
        node.text = part.own.mid(part.start(), part.end() - part.start());
        node.block = part.block;
        for (qsizetype link = first; link <= last; ++link)
            node.objects.append(part.handles.value(link));
        return node;
    };

    // Where an embedded element stands against the caret: wholly before
    // it, wholly after, or holding it (or not known to stand elsewhere).
    // A browser gives an element's caret at the element that holds it.
    enum class Side { before, after, holds };
    std::unordered_map<int, std::optional<qsizetype>> carets;
    const auto caretOf = [&](int handle) -> std::optional<qsizetype> {
        if (handle == 0)
            return ownCaret();
        if (const auto found = carets.find(handle); found != carets.end())
            return found->second;
        AccessibilityElement &element = *elements[std::size_t(handle)];
        const auto ask = [&element]() -> std::optional<qsizetype> {
            const auto range =
                accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::caret));
            if (!range || range->location < 0)
                return std::nullopt;
            return qsizetype(range->location);
        };
        auto caret = ask();
        if (!caret)
            caret = ask();
        carets.emplace(handle, caret);
        return caret;
    };
    std::unordered_map<int, Side> sides{{0, Side::holds}};
    std::function<Side(int)> sideOf = [&](int handle) {
        if (const auto found = sides.find(handle); found != sides.end())
            return found->second;
        const auto placement = placements.find(handle);
        if (placement == placements.end())
            return Side::holds;
        const auto [parent, offset] = placement->second;
        Side side = sideOf(parent);
        if (side == Side::holds) {
            if (const auto caret = caretOf(parent)) {
                side = *caret < offset ? Side::after : *caret > offset ? Side::before : Side::holds;
            }
        }
        sides.emplace(handle, side);
        return side;
    };
    // A long element's part as first read: as the reading before read it,
    // else only what lies next to the caret.
    const auto firstPart = [&](int handle, const Linked &part) {
        if (!fresh) {
            if (const auto found = m_parts.constFind(part.element->identity());
                found != m_parts.constEnd()) {
                if (const auto again = readAgain(*found, part.count()))
                    return *again;
            }
        }
        Window window;
        window.count = part.count();
        switch (sideOf(handle)) {
        case Side::before:
            window.first = window.last = part.count() - 1;
            window.toEnd = true;
            return window;
        case Side::holds:
            if (const auto caret = caretOf(handle); caret && *caret <= part.own.size())
                return around(part.links, *caret);
            break;
        case Side::after:
            break;
        }
        window.fromStart = true;
        return window;
    };
    const auto readNode = [&](int handle) -> std::optional<EmbeddedObjectNode> {
        if (handle < 0 || std::size_t(handle) >= elements.size())
            return std::nullopt;
        if (const auto part = parts.find(handle); part != parts.end())
            return partNode(handle, part->second);
        if (const auto known = nodes.constFind(handle); known != nodes.constEnd())
            return *known;
        const AccessibilityElementRef element = elements[std::size_t(handle)];
        std::optional<EmbeddedObjectNode> node = readEmbedded(*element);
        if (!node) {
            nodes.insert(handle, node);
            return node;
        }
        const QList<qsizetype> links = linksIn(node->text);
        const qsizetype characters = links.size();
        // A long list or table is read in part, as the editor is.
        if (characters > readWholeUpTo && listsEmbedded(*element)) {
            Linked &part = parts[handle];
            part.element = element;
            part.own = node->text;
            part.links = links;
            part.block = node->block;
            part.window = firstPart(handle, part);
            return partNode(handle, part);
        }
        if (characters > 0) {
            const auto objects = accessibilityValueAs<QList<AccessibilityElementRef>>(
                element->parameterizedAttributeValue(ax::embeddedObjectsForRange,
                                                     AccessibilityRange{0, characters}));
            if (objects && objects->size() == characters && !objects->contains(nullptr)) {
                for (qsizetype index = 0; index < characters; ++index)
                    node->objects.append(add(objects->at(index), handle, links[index]));
            } else if (objects || (characters <= readWholeUpTo && listsEmbedded(*element))) {
                // Each U+FFFC must have its element, or offsets would land
                // in the wrong one.
                node.reset();
            }
            // An element that lists nothing keeps its characters.
        }
        nodes.insert(handle, node);
        return node;
    };

    // Where the text read stops short, before `at` (or after it): the
    // nearest place where an element read in part has more, and that
    // element; of two that stop at one place, the inner one, whose next
    // element comes first there. A list that holds the caret stops short
    // within the value, one before or after it at the value's ends.
    struct Cut {
        int handle = -1;
        qsizetype offset = 0;
    };
    const auto nearestCut = [&parts](const EmbeddedObjectText &text, bool before, qsizetype at) {
        Cut found;
        qsizetype size = 0;
        for (const auto &[handle, part] : parts) {
            if (before ? part.window.fromStart : part.window.toEnd)
                continue;
            const auto extent = text.extent(handle);
            if (!extent)
                continue;
            const qsizetype offset = before ? extent->first : extent->second;
            if (before ? offset > at : offset < at)
                continue;
            const qsizetype extentSize = extent->second - extent->first;
            const bool nearer = before ? offset > found.offset : offset < found.offset;
            if (found.handle < 0 || nearer || (offset == found.offset && extentSize < size)) {
                found = Cut{handle, offset};
                size = extentSize;
            }
        }
        return found;
    };
    const auto grow = [&](int handle, bool before, bool whole) {
        Linked &part = parts.at(handle);
        Window &window = part.window;
        if (before) {
            if (whole || window.first == 0) {
                window.fromStart = true;
                window.first = 0;
            } else {
                --window.first;
            }
        } else if (whole || window.last == part.count() - 1) {
            window.toEnd = true;
            window.last = part.count() - 1;
        } else {
            ++window.last;
        }
    };
    // A part grown to hold [start, end) of its own text.
    const auto cover = [&](int handle, std::pair<qsizetype, qsizetype> range) {
        Linked &part = parts.at(handle);
        Window &window = part.window;
        const auto &links = part.links;
        bool grew = false;
        if (!window.fromStart && range.first < part.start()) {
            window.first =
                std::upper_bound(links.cbegin(), links.cend(), range.first) - links.cbegin() - 1;
            if (window.first < 0) {
                window.fromStart = true;
                window.first = 0;
            }
            grew = true;
        }
        if (!window.toEnd && range.second > part.end()) {
            window.last =
                std::lower_bound(links.cbegin(), links.cend(), range.second - 1) - links.cbegin();
            if (window.last >= part.count()) {
                window.toEnd = true;
                window.last = part.count() - 1;
            }
            grew = true;
        }
        return grew;
    };
    const auto keep = [&] {
        m_window = root.window;
        m_parts.clear();
        for (const auto &[handle, part] : parts) {
            if (handle != 0)
                m_parts.insert(part.element->identity(), part.window);
        }
    };

    for (;;) {
        m_outside.clear();
        std::optional<EmbeddedObjectText> text = EmbeddedObjectText::read(readNode, maxElements);
        if (!text)
            return std::nullopt;
        Reading reading{std::move(*text), elements, root.start(), root.end(), own.size(),
                        root.count(),     {}};
        for (const auto &[handle, part] : parts)
            reading.parts.insert(handle, Part{part.start(), part.end(), part.shown(),
                                              part.start() == 0 && part.end() == part.own.size()});
        if (!fresh) {
            keep();
            return reading;
        }
        // As many paragraphs as the text before and after the selection
        // needs, and no more.
        // Without a selection to read around, the paragraphs the editor
        // says it is in are all there is to go by.
        bool growBefore = false;
        bool growAfter = false;
        const auto selected = selection(reading, &growBefore, &growAfter);
        // A selection that runs on past the part read of a list is read
        // to its ends.
        bool grew = false;
        for (const auto &[handle, range] : m_outside)
            grew = cover(handle, range) || grew;
        if (grew)
            continue;
        if (!selected) {
            keep();
            return reading;
        }
        const QString &value = reading.text.text();
        const qsizetype start = selected->first;
        const qsizetype end = selected->second;
        const Cut cutBefore = nearestCut(reading.text, true, start);
        const Cut cutAfter = nearestCut(reading.text, false, end);
        // By handle, the element whose part grows, -1 for none. A
        // selection that runs on past the paragraphs read is read whole.
        const auto wanted = [](const Cut &cut, bool runsOn, QStringView context) {
            return cut.handle >= 0 && (runsOn || textkit::graphemeCount(context) < contextReach)
                       ? cut.handle
                       : -1;
        };
        const int before =
            wanted(cutBefore, growBefore,
                   QStringView(value).mid(cutBefore.offset, start - cutBefore.offset));
        const int after =
            wanted(cutAfter, growAfter, QStringView(value).mid(end, cutAfter.offset - end));
        if (before < 0 && after < 0) {
            keep();
            return reading;
        }
        if (before >= 0)
            grow(before, true, growBefore && before != 0);
        if (after >= 0)
            grow(after, false, growAfter && after != 0);
    }
}

std::optional<EmbeddedObjectNode>
EmbeddedObjectTextElement::readEmbedded(AccessibilityElement &element) {
    EmbeddedObjectNode node;
    auto text = accessibilityValueAs<QString>(element.attributeValue(ax::value));
    // Firefox answers the first reads of a paragraph reached this way with
    // nothing, until the page has sent it the texts, a few dozen reads
    // later: asked again meanwhile, for a moment at most.
    // One that stays empty leaves the whole text unread (a capture reads
    // again a moment later) rather than read without it.
    if (text && text->isEmpty()) {
        const QString identity = element.identity();
        if (!m_knowledge->asked.contains(identity)) {
            if (m_knowledge->asked.size() >= maxKnown)
                m_knowledge->asked.clear();
            m_knowledge->asked.insert(identity);
            text = accessibilityValueAs<QString>(
                askedAgainWhileEmpty(element, AccessibilityValue(QString())));
            if (text && text->isEmpty())
                return std::nullopt;
        }
    }
    // An embedded element without text of its own (an image) is empty;
    // one that answers nothing at all is gone.
    if (!text && !element.attributeValue(ax::role))
        return std::nullopt;
    node.text = text.value_or(QString());
    node.block = isBlock(element);
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
EmbeddedObjectTextElement::readSelection(const Reading &reading, int node) {
    const auto range = nodeSelection(reading, node);
    const auto part = reading.parts.constFind(node);
    if (!range || part == reading.parts.constEnd())
        return range;
    if (range->first < part->start || range->second > part->end) {
        m_outside[node] = *range;
        return std::nullopt;
    }
    return std::pair{range->first - part->start, range->second - part->start};
}

qsizetype EmbeddedObjectTextElement::shownSize(const Reading &reading, int node) {
    if (const auto part = reading.parts.constFind(node); part != reading.parts.constEnd())
        return part->shown;
    const QString text = reading.text.nodeText(node);
    return text.endsWith(QLatin1Char('\n')) ? text.size() - 1 : text.size();
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
    const auto shown = [&reading](int node) { return shownSize(reading, node); };
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
    m_outside.clear();
    auto range =
        reading.text.selection({own->first - reading.ownStart, own->second - reading.ownStart},
                               [this, &reading](int node) { return readSelection(reading, node); });
    // An end in a part of a list that was not read is not in the value.
    if (!m_outside.empty())
        return std::nullopt;
    return range;
}

std::optional<EmbeddedObjectText::Span>
EmbeddedObjectTextElement::spanOf(const Reading &reading, qsizetype start, qsizetype end) {
    auto span = reading.text.span(start, end);
    if (!span)
        return span;
    // A range that takes in an element read in part as a whole would stand
    // for all of it, the part not read too.
    const QString text = reading.text.nodeText(span->node);
    for (qsizetype offset = span->start; offset < span->end && offset < text.size(); ++offset) {
        if (text[offset] != objectCharacter)
            continue;
        const auto child = reading.text.objectAt({span->node, offset});
        if (!child)
            continue;
        if (const auto part = reading.parts.constFind(*child);
            part != reading.parts.constEnd() && !part->whole)
            return std::nullopt;
    }
    return span;
}

qsizetype EmbeddedObjectTextElement::ownOffset(const Reading &reading, int node, qsizetype offset) {
    return offset + reading.parts.value(node).start;
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
    const auto span = spanOf(*reading, bounds->first, bounds->second);
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
        spanOf(*reading, qsizetype(range->location), qsizetype(range->location + range->length));
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
