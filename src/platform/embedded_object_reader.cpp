#include "platform/embedded_object_reader.h"

#include "support/textkit.h"

#include <algorithm>

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

// The elements embedded from the `first` to the `last`, each one there.
std::optional<QList<AccessibilityElementRef>> embeddedAt(AccessibilityElement &element,
                                                         qsizetype first, qsizetype last) {
    auto objects =
        accessibilityValueAs<QList<AccessibilityElementRef>>(element.parameterizedAttributeValue(
            ax::embeddedObjectsForRange, AccessibilityRange{first, last - first + 1}));
    if (!objects || objects->size() != last - first + 1 || objects->contains(nullptr))
        return std::nullopt;
    return objects;
}

QList<qsizetype> linksIn(const QString &text) {
    QList<qsizetype> links;
    for (qsizetype index = 0; index < text.size(); ++index) {
        if (text[index] == objectCharacter)
            links.append(index);
    }
    return links;
}

// A block's last line break starts no line of its own on the page.
qsizetype shownSize(const QString &text, bool block) {
    return block && text.endsWith(QLatin1Char('\n')) ? text.size() - 1 : text.size();
}

// Whether the element says its text is empty.
bool saysEmpty(AccessibilityElement &element) {
    const auto count =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::characterCount));
    return count && count->length == 0;
}

// Whether the element says its text is not empty.
bool saysNotEmpty(AccessibilityElement &element) {
    const auto count =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::characterCount));
    return count && count->length > 0;
}

qsizetype graphemesIn(const QString &text, qsizetype from, qsizetype to) {
    return textkit::graphemeCount(QStringView(text).mid(from, std::max<qsizetype>(to - from, 0)));
}

} // namespace

qsizetype EmbeddedObjectReader::Part::shown() const {
    return shownSize(own, block);
}

EmbeddedObjectReader::EmbeddedObjectReader(AccessibilityElementRef editor,
                                           EmbeddedObjectKnowledge &knowledge,
                                           EmbeddedObjectSelections &selections,
                                           ColdReadDeadline &deadline)
    : m_editor(std::move(editor))
    , m_knowledge(knowledge)
    , m_selections(selections)
    , m_deadline(deadline) {}

EmbeddedObjectReader::Result EmbeddedObjectReader::read(const QString &own, const Windows *previous,
                                                        bool settledBefore) {
    m_elements = {m_editor};
    Part &editor = openPart(0, m_editor, own, true);
    std::optional<LinkWindow> again;
    if (previous) {
        if (const auto found = previous->constFind(m_editor->identity());
            found != previous->constEnd())
            again = found->readAgain(editor.links.size());
    }
    // A reading again reads what the reading before read, so that a paste
    // read back shows in the value read before it, offsets and all.
    m_previous = again ? previous : nullptr;
    m_settledBefore = settledBefore;
    const Ends ends = editorEnds(settledBefore);
    editor.ends = ends.range;
    // Ends found past a selection that cannot be told would be a guess; the
    // paragraphs they or the caret are in are read all the same, so that a
    // paste over the selection shows in the value read again.
    TextRange near;
    if (ends.range)
        near = *ends.range;
    else if (ends.caret)
        near = {*ends.caret, *ends.caret};
    if (m_selectionUntold)
        editor.ends.reset();
    editor.window = again ? *again : LinkWindow::around(editor.links, near);
    for (;;) {
        Built built = build();
        if (!built.text) {
            if (built.unreadable > 0 && leaveOut(built.unreadable))
                continue;
            return {std::nullopt, ends.confirmed, m_selectionUntold};
        }
        EmbeddedObjectReading reading = record(std::move(*built.text));
        Selection selection = selectionIn(reading);
        if (!again && cover(selection.outside))
            continue;
        reading.selection = selection.range;
        if (again || !reading.selection || !growToReach(reading, *reading.selection))
            return {std::move(reading), ends.confirmed, m_selectionUntold};
    }
}

EmbeddedObjectReader::Windows EmbeddedObjectReader::windows() const {
    Windows windows;
    for (const auto &[handle, part] : m_parts)
        windows.insert(part.element->identity(), part.window);
    return windows;
}

// Where the caret or selection is -----------------------------------------

EmbeddedObjectReader::Ends EmbeddedObjectReader::editorEnds(bool settledBefore) {
    const Part &editor = m_parts.at(0);
    const QString &own = editor.own;
    // The editor's own selection is asked only where nothing else tells:
    // Chromium walks the whole document to answer it, while its caret
    // comes at once, at the paragraph that holds it.
    const auto caret = m_selections.caret(*m_editor, &m_deadline);
    // A caret past the end of the text: the text lacks what the page has
    // not sent yet.
    if (!caret || *caret > own.size())
        return {};
    const qsizetype at = *caret;
    const auto linkAt = [&editor](qsizetype offset) -> std::optional<qsizetype> {
        if (offset < 0 || offset >= editor.own.size() || editor.own[offset] != objectCharacter)
            return std::nullopt;
        return std::lower_bound(editor.links.cbegin(), editor.links.cend(), offset) -
               editor.links.cbegin();
    };
    const std::optional<qsizetype> here = linkAt(at);
    const std::optional<qsizetype> before = linkAt(at - 1);
    // Inside a line typed straight into the editor, which is there.
    if (!here && !before)
        return {endsInOwnText(at), true};
    // The paragraph at the caret says where in it the caret is, or what of
    // it is selected; the one just before a caret after it likewise (where
    // Chromium puts it after a select-all).
    if (here) {
        AccessibilityElement *paragraph = linkElement(*here);
        // What cannot be listed is not to be waited for.
        if (!paragraph)
            return {std::nullopt, true};
        const EmbeddedObjectSelections::Selected selected = m_selections.selection(*paragraph);
        if (selected.range)
            return {endsFromCaretParagraph(at, *here, *selected.range), true};
        // Its caret is known, what it has selected not: never a caret.
        if (selected.unknown) {
            m_selectionUntold = true;
            return {std::nullopt, true, at};
        }
    }
    if (before) {
        if (AccessibilityElement *paragraph = linkElement(*before);
            paragraph && selectionOf(*paragraph))
            return {endsInOwnText(at), true};
    }
    // No paragraph holds it: at the end of a line typed straight into the
    // editor, or in a paragraph the page has not sent yet, which then reads
    // empty. Once the editor's texts were seen whole, the first.
    if (here && !before && at > 0) {
        const auto text = rawNode(m_parts.at(0).handles.value(*here), true);
        return {endsInOwnText(at), settledBefore || (text && !text->text.isEmpty())};
    }
    return {};
}

std::optional<TextRange>
EmbeddedObjectReader::endsFromCaretParagraph(qsizetype caret, qsizetype link, TextRange selected) {
    if (selected.first == selected.second)
        return TextRange{caret, caret};
    // A caret at neither end of the selection around it: the paragraph
    // says two things that cannot both be true, and neither is taken.
    if (AccessibilityElement *paragraph = linkElement(link)) {
        if (const auto within = m_selections.caret(*paragraph);
            within && *within != selected.first && *within != selected.second) {
            m_selectionUntold = true;
            return std::nullopt;
        }
    }
    const auto text = rawNode(m_parts.at(0).handles.value(link), true);
    // A selection that reaches an end of the caret's paragraph may go on
    // past it, as far as the paragraphs there say they are selected.
    TextRange ends{caret, caret + 1};
    if (selected.first == 0)
        ends.first = selectionStartFrom(link);
    if (text && selected.second >= shownSize(text->text, text->block))
        ends.second = selectionEndFrom(link);
    return ends;
}

std::optional<TextRange> EmbeddedObjectReader::endsInOwnText(qsizetype caret) {
    const Part &editor = m_parts.at(0);
    const QList<qsizetype> &links = editor.links;
    const qsizetype before =
        std::lower_bound(links.cbegin(), links.cend(), caret) - links.cbegin() - 1;
    const qsizetype after = before + 1;
    // A caret just after a selected paragraph ends the selection there (a
    // select-all in Chromium puts it at the very end); one before a
    // selected paragraph starts it.
    if (before >= 0 && links[before] == caret - 1 && probe(before) == Probe::selected)
        return TextRange{selectionStartFrom(before), caret};
    if (after < links.size() && probe(after) == Probe::selected)
        return TextRange{caret, selectionEndFrom(after)};
    // What is selected of a line typed straight into the editor only the
    // editor says.
    if (links.size() <= maxLinksForOwnSelection) {
        if (const auto own = editorOwnSelection();
            own && own->first < own->second && (own->first == caret || own->second == caret))
            return own;
    }
    return TextRange{caret, caret};
}

qsizetype EmbeddedObjectReader::selectionStartFrom(qsizetype link) {
    const qsizetype first = farthestSelected(link, -1);
    const Part &editor = m_parts.at(0);
    const qsizetype at = editor.links[first];
    // Where the editor's own text comes just before (a first line typed
    // straight into it), only the editor says whether the selection
    // begins there.
    if (at > 0 && editor.own[at - 1] != objectCharacter) {
        AccessibilityElement *element = linkElement(first);
        const auto selected = element ? selectionOf(*element) : std::nullopt;
        if (selected && selected->first == 0) {
            if (const auto own = editorOwnSelection(); own && own->first < at && own->second > at)
                return own->first;
        }
    }
    return at;
}

qsizetype EmbeddedObjectReader::selectionEndFrom(qsizetype link) {
    const qsizetype last = farthestSelected(link, 1);
    const Part &editor = m_parts.at(0);
    const qsizetype at = editor.links[last] + 1;
    if (at < editor.own.size() && editor.own[at] != objectCharacter) {
        if (const auto own = editorOwnSelection(); own && own->first < at && own->second > at)
            return own->second;
    }
    return at;
}

qsizetype EmbeddedObjectReader::farthestSelected(qsizetype from, int direction) {
    const qsizetype count = m_parts.at(0).links.size();
    const qsizetype far = direction < 0 ? 0 : count - 1;
    if (from == far)
        return from;
    // A selection that reaches an end of the editor (a select-all) is
    // found at once.
    const auto [farLink, farProbe] =
        direction < 0 ? probeNear(far, -1, from) : probeNear(far, from, count);
    if (farProbe == Probe::selected)
        return farLink;
    // Otherwise a few steps, twice as far each time, then halving: a
    // selection over thousands of paragraphs costs a few dozen asks.
    qsizetype selected = from;
    qsizetype unselected = farLink;
    for (qsizetype step = 1;; step *= 2) {
        const qsizetype next = from + direction * step;
        if (direction < 0 ? next <= unselected : next >= unselected)
            break;
        const auto [link, probed] =
            probeNear(next, std::min(selected, unselected), std::max(selected, unselected));
        if (probed != Probe::selected) {
            unselected = link;
            break;
        }
        selected = link;
    }
    while (std::abs(unselected - selected) > 1) {
        const auto [link, probed] =
            probeNear(selected + (unselected - selected) / 2, std::min(selected, unselected),
                      std::max(selected, unselected));
        (probed == Probe::selected ? selected : unselected) = link;
    }
    return selected;
}

std::pair<qsizetype, EmbeddedObjectReader::Probe>
EmbeddedObjectReader::probeNear(qsizetype link, qsizetype low, qsizetype high) {
    // An empty paragraph may say nothing of a selection over it: its
    // neighbours do.
    for (qsizetype distance = 0; distance <= 4; ++distance) {
        for (const qsizetype candidate : {link + distance, link - distance}) {
            if (candidate <= low || candidate >= high || (distance == 0 && candidate != link))
                continue;
            if (const Probe probed = probe(candidate); probed != Probe::unknown)
                return {candidate, probed};
            if (distance == 0)
                break;
        }
    }
    return {std::clamp(link, low + 1, high - 1), Probe::notSelected};
}

EmbeddedObjectReader::Probe EmbeddedObjectReader::probe(qsizetype link) {
    AccessibilityElement *element = linkElement(link);
    if (!element)
        return Probe::unknown;
    const auto selected = selectionOf(*element);
    if (selected && selected->first != selected->second)
        return Probe::selected;
    // Firefox gives an empty element an empty selection where it is
    // selected, Chromium none at all; an empty range in a text is a caret.
    const auto text = rawNode(m_parts.at(0).handles.value(link), false);
    if (!text || text->text.isEmpty())
        return selected ? Probe::selected : Probe::unknown;
    return Probe::notSelected;
}

std::optional<TextRange> EmbeddedObjectReader::editorOwnSelection() {
    return selectionOf(*m_editor);
}

std::optional<TextRange> EmbeddedObjectReader::selectionOf(AccessibilityElement &element) {
    const EmbeddedObjectSelections::Selected selected = m_selections.selection(element);
    m_selectionUntold = m_selectionUntold || selected.unknown;
    return selected.range;
}

// Reading what is chosen ---------------------------------------------------

EmbeddedObjectReader::Built EmbeddedObjectReader::build() {
    Built built;
    built.text = EmbeddedObjectText::read(
        [this, &built](int handle) {
            std::optional<EmbeddedObjectNode> node = readNode(handle);
            if (!node && built.unreadable < 0)
                built.unreadable = handle;
            return node;
        },
        maxElements);
    return built;
}

std::optional<EmbeddedObjectNode> EmbeddedObjectReader::readNode(int handle) {
    if (handle < 0 || std::size_t(handle) >= m_elements.size())
        return std::nullopt;
    if (m_parts.count(handle))
        return partNode(handle);
    if (const auto known = m_nodes.constFind(handle); known != m_nodes.constEnd())
        return *known;
    return wholeNode(handle);
}

std::optional<EmbeddedObjectNode> EmbeddedObjectReader::partNode(int handle) {
    Part &part = m_parts.at(handle);
    QList<LinkWindow::Run> runs{part.window.head};
    if (part.window.tail)
        runs.append(*part.window.tail);
    for (const LinkWindow::Run &run : runs) {
        if (!fetchLinks(handle, run.first, run.last, true))
            return std::nullopt;
    }
    EmbeddedObjectNode node;
    node.block = part.block;
    for (const auto &[start, end] : part.window.ownPieces(part.links, part.own.size()))
        node.text += QStringView(part.own).mid(start, end - start);
    for (const LinkWindow::Run &run : runs) {
        for (qsizetype link = run.first; link <= run.last; ++link)
            node.objects.append(part.handles.value(link));
    }
    return node;
}

std::optional<EmbeddedObjectNode> EmbeddedObjectReader::wholeNode(int handle) {
    std::optional<EmbeddedObjectNode> node =
        rawNode(handle, m_parts.at(0).ends && sideOf(handle) == Side::inside);
    if (!node) {
        m_nodes.insert(handle, node);
        return node;
    }
    const QList<qsizetype> links = linksIn(node->text);
    AccessibilityElement &element = *m_elements[std::size_t(handle)];
    // A long list or table is read in part, as the editor is.
    if (links.size() > readWholeUpTo && listsEmbedded(element)) {
        Part &part = openPart(handle, m_elements[std::size_t(handle)], node->text, node->block);
        part.window = firstWindow(handle, part);
        return partNode(handle);
    }
    if (!links.isEmpty()) {
        const auto objects = accessibilityValueAs<QList<AccessibilityElementRef>>(
            element.parameterizedAttributeValue(ax::embeddedObjectsForRange,
                                                AccessibilityRange{0, links.size()}));
        if (objects && objects->size() == links.size() && !objects->contains(nullptr)) {
            for (qsizetype index = 0; index < links.size(); ++index)
                node->objects.append(add(objects->at(index), handle, links[index], index));
        } else if (objects || listsEmbedded(element)) {
            // Each U+FFFC must have its element, or offsets would land in
            // the wrong one.
            node.reset();
        }
        // An element that lists nothing keeps its characters.
    }
    m_nodes.insert(handle, node);
    return node;
}

std::optional<EmbeddedObjectNode> EmbeddedObjectReader::rawNode(int handle, bool holdsEnds) {
    if (const auto known = m_raw.constFind(handle); known != m_raw.constEnd())
        return *known;
    const auto node = readEmbedded(*m_elements[std::size_t(handle)], holdsEnds);
    m_raw.insert(handle, node);
    return node;
}

std::optional<EmbeddedObjectNode> EmbeddedObjectReader::readEmbedded(AccessibilityElement &element,
                                                                     bool holdsEnds) {
    const auto read = [&element] {
        return accessibilityValueAs<QString>(element.attributeValue(ax::value));
    };
    std::optional<QString> text = read();
    if (text && text->isEmpty() && !(saysEmpty(element) && (!holdsEnds || m_settledBefore))) {
        // Firefox answers the first reads of a text reached this way with
        // nothing until the page has sent it, a few dozen reads later, and
        // counts its characters as none meanwhile: asked again within the
        // job's moment. An element that says it is empty (an empty table
        // cell) is, at once; not the one that holds the caret or an end of
        // the selection, until the editor's texts were seen whole once: a
        // caret at the start of a paragraph agrees with an empty one, and
        // the reading would leave out the very line it is for.
        text = readAgainWhileUnanswered(
            text, read, [](const std::optional<QString> &found) { return found == QString(); },
            m_deadline);
        // Still empty where it says it holds text, or where it may not
        // have come yet: not read, rather than read wrong.
        if (text && text->isEmpty() && (saysNotEmpty(element) || (holdsEnds && !m_settledBefore)))
            return std::nullopt;
    }
    // An embedded element without text of its own (an image) is empty;
    // one that answers nothing at all is gone.
    if (!text && !element.attributeValue(ax::role))
        return std::nullopt;
    EmbeddedObjectNode node;
    node.text = text.value_or(QString());
    node.block = isBlock(element);
    return node;
}

bool EmbeddedObjectReader::isBlock(AccessibilityElement &element) {
    const QString identity = element.identity();
    if (const auto known = m_knowledge.blocks.constFind(identity);
        known != m_knowledge.blocks.constEnd())
        return *known;
    bool block = false;
    if (const auto display = accessibilityValueAs<QString>(element.attributeValue(ax::display));
        display && !display->isEmpty())
        block = !display->startsWith(QLatin1String("inline"));
    else
        block = isBlockRole(accessibilityValueAs<QString>(element.attributeValue(ax::role))
                                .value_or(QString())
                                .toLower());
    if (m_knowledge.blocks.size() >= EmbeddedObjectKnowledge::maxKnown)
        m_knowledge.blocks.clear();
    m_knowledge.blocks.insert(identity, block);
    return block;
}

int EmbeddedObjectReader::add(const AccessibilityElementRef &element, int parent, qsizetype offset,
                              qsizetype link) {
    const int handle = int(m_elements.size());
    m_elements.push_back(element);
    m_placements.emplace(handle, Placement{parent, offset, link});
    return handle;
}

bool EmbeddedObjectReader::fetchLinks(int handle, qsizetype first, qsizetype last, bool ahead) {
    Part &part = m_parts.at(handle);
    qsizetype index = first;
    while (index <= last) {
        if (part.handles.contains(index)) {
            ++index;
            continue;
        }
        qsizetype runEnd = index;
        while (runEnd + 1 <= last && !part.handles.contains(runEnd + 1))
            ++runEnd;
        // A part grows an element at a time, and each growth would be a
        // round of calls to the page of its own: a run reaches a few
        // elements further where none were read, which the next growths
        // then find.
        qsizetype from = index;
        qsizetype to = runEnd;
        while (ahead && from > 0 && index - from < linksAhead && !part.handles.contains(from - 1))
            --from;
        while (ahead && to + 1 < part.links.size() && to - runEnd < linksAhead &&
               !part.handles.contains(to + 1))
            ++to;
        auto objects = embeddedAt(*part.element, from, to);
        if (!objects && (from != index || to != runEnd)) {
            from = index;
            to = runEnd;
            objects = embeddedAt(*part.element, from, to);
        }
        if (!objects)
            return false;
        for (const AccessibilityElementRef &object : *objects) {
            part.handles.insert(from, add(object, handle, part.links[from], from));
            ++from;
        }
        index = runEnd + 1;
    }
    return true;
}

AccessibilityElement *EmbeddedObjectReader::linkElement(qsizetype link) {
    if (!fetchLinks(0, link, link, false))
        return nullptr;
    return m_elements[std::size_t(m_parts.at(0).handles.value(link))].get();
}

EmbeddedObjectReader::Part &EmbeddedObjectReader::openPart(int handle,
                                                           AccessibilityElementRef element,
                                                           QString own, bool block) {
    Part &part = m_parts[handle];
    part.element = std::move(element);
    part.own = std::move(own);
    part.links = linksIn(part.own);
    part.block = block;
    return part;
}

LinkWindow EmbeddedObjectReader::firstWindow(int handle, Part &part) {
    if (m_previous) {
        if (const auto found = m_previous->constFind(part.element->identity());
            found != m_previous->constEnd()) {
            if (auto again = found->readAgain(part.links.size()))
                return *again;
        }
    }
    LinkWindow window;
    window.count = part.links.size();
    window.head = {0, 0};
    switch (sideOf(handle)) {
    case Side::before:
        // Its last elements, nearest the caret.
        window.head = {window.count - 1, window.count - 1};
        window.toEnd = true;
        return window;
    case Side::inside:
        part.ends = endsOf(handle);
        if (part.ends && part.ends->second <= part.own.size())
            return LinkWindow::around(part.links, *part.ends);
        break;
    case Side::after:
        break;
    }
    window.fromStart = true;
    return window;
}

EmbeddedObjectReader::Side EmbeddedObjectReader::sideOf(int handle) {
    if (handle == 0)
        return Side::inside;
    if (const auto known = m_sides.find(handle); known != m_sides.end())
        return known->second;
    const Placement placement = m_placements.at(handle);
    Side side = sideOf(placement.parent);
    if (side == Side::inside) {
        if (const auto ends = endsOf(placement.parent)) {
            const auto [start, end] = *ends;
            if (placement.offset < start)
                side = Side::before;
            else if (start == end ? placement.offset > start : placement.offset >= end)
                side = Side::after;
        }
    }
    m_sides.emplace(handle, side);
    return side;
}

std::optional<TextRange> EmbeddedObjectReader::endsOf(int handle) {
    if (const auto part = m_parts.find(handle); part != m_parts.end() && part->second.ends)
        return part->second.ends;
    if (handle == 0)
        return std::nullopt;
    // A browser gives an element's caret at the element that holds it.
    return selectionOf(*m_elements[std::size_t(handle)]);
}

// Leaving out, and growing -------------------------------------------------

bool EmbeddedObjectReader::leaveOut(int handle) {
    // Up to the part that holds it: what is left out is that part's
    // embedded element it lies in.
    for (int child = handle;;) {
        const auto placement = m_placements.find(child);
        if (placement == m_placements.end())
            return false;
        const int parent = placement->second.parent;
        if (m_parts.count(parent))
            return leaveOutLink(parent, placement->second.link);
        child = parent;
    }
}

bool EmbeddedObjectReader::leaveOutLink(int handle, qsizetype link) {
    Part &part = m_parts.at(handle);
    LinkWindow &window = part.window;
    part.walls.insert(link);
    const auto side = sideOf(handle);
    const TextRange ends = part.ends              ? *part.ends
                           : side == Side::before ? TextRange{part.own.size(), part.own.size()}
                                                  : TextRange{0, 0};
    const qsizetype at = part.links[link];
    const bool caret = ends.first == ends.second;
    // What holds the caret or an end of the selection is what the reading
    // is for.
    if (at == ends.first || (!caret && at == ends.second - 1))
        return handle != 0 && leaveOut(handle);
    if (at < ends.first) {
        window.head.first = link + 1;
        window.fromStart = false;
    } else if (caret || at >= ends.second) {
        window.lastRun().last = link - 1;
        window.toEnd = false;
    } else if (!window.tail) {
        // Inside the selection: left out of its middle, which is not read.
        window.tail = LinkWindow::Run{link + 1, window.head.last};
        window.head.last = link - 1;
    } else if (link <= window.head.last) {
        window.head.last = link - 1;
    } else {
        window.tail->first = link + 1;
    }
    const auto empty = [](const LinkWindow::Run &run) { return run.last < run.first; };
    if (window.tail && empty(*window.tail))
        window.tail.reset();
    if (empty(window.head))
        return handle != 0 && leaveOut(handle);
    return true;
}

EmbeddedObjectReader::Selection
EmbeddedObjectReader::selectionIn(const EmbeddedObjectReading &reading) {
    Selection result;
    const auto &ends = m_parts.at(0).ends;
    if (!ends)
        return result;
    const auto start = reading.nodeOffset(0, ends->first);
    const auto end = reading.nodeOffset(0, ends->second);
    if (!start || !end)
        return result;
    result.range = reading.text.selection(
        {*start, *end}, [&](int node) -> std::optional<std::pair<qsizetype, qsizetype>> {
            if (node < 1 || std::size_t(node) >= reading.elements.size())
                return std::nullopt;
            const auto own = selectionOf(*reading.elements[std::size_t(node)]);
            if (!own || !reading.parts.contains(node))
                return own;
            const auto from = reading.nodeOffset(node, own->first);
            const auto to = reading.nodeOffset(node, own->second);
            if (!from || !to) {
                result.outside.emplace_back(node, *own);
                return std::nullopt;
            }
            return std::pair{*from, *to};
        });
    // An end in a part of a list that was not read is not in the value;
    // one of an element that cannot tell it is not known.
    if (!result.outside.empty() || m_selectionUntold)
        result.range.reset();
    return result;
}

bool EmbeddedObjectReader::cover(const std::vector<std::pair<int, TextRange>> &outside) {
    bool grew = false;
    for (const auto &[handle, range] : outside) {
        Part &part = m_parts.at(handle);
        grew = part.window.include(LinkWindow::around(part.links, range)) || grew;
    }
    return grew;
}

bool EmbeddedObjectReader::growToReach(const EmbeddedObjectReading &reading, TextRange selected) {
    const QString &value = reading.text.text();
    const auto [start, end] = selected;
    const std::vector<Cut> before = cuts(reading.text, true);
    const std::vector<Cut> after = cuts(reading.text, false);
    // The nearest place at or beyond `from` (before it, going back) where
    // the text read stops short.
    const auto nearest = [](const std::vector<Cut> &found, qsizetype from, qsizetype limit,
                            bool back) -> const Cut * {
        const Cut *best = nullptr;
        for (const Cut &cut : found) {
            if (back ? cut.offset > from : cut.offset < from || cut.offset >= limit)
                continue;
            if (!best || (back ? cut.offset > best->offset : cut.offset < best->offset))
                best = &cut;
        }
        return best;
    };
    bool grew = false;
    // The text before the selection, the selection from its start, and
    // the text after it: as much of each as the context reads, and no more.
    if (const Cut *cut = nearest(before, start, 0, true);
        cut && graphemesIn(value, cut->offset, start) < contextReach)
        grew = grow(*cut, true) || grew;
    if (const Cut *cut = nearest(after, start, end, false);
        cut && graphemesIn(value, start, cut->offset) < selectionReach)
        grew = grow(*cut, false) || grew;
    if (const Cut *cut = nearest(after, end, value.size() + 1, false);
        cut && graphemesIn(value, end, cut->offset) < contextReach)
        grew = grow(*cut, false) || grew;
    return grew;
}

std::vector<EmbeddedObjectReader::Cut> EmbeddedObjectReader::cuts(const EmbeddedObjectText &text,
                                                                  bool before) const {
    std::vector<Cut> found;
    for (const auto &[handle, part] : m_parts) {
        const LinkWindow &window = part.window;
        const auto extent = text.extent(handle);
        if (!extent)
            continue;
        for (const bool tail : {false, true}) {
            if (tail && !window.tail)
                continue;
            const LinkWindow::Run &run = tail ? *window.tail : window.head;
            const bool last = tail || !window.tail;
            // Beyond a wall, nothing can be read.
            if (before ? (!tail && window.fromStart) || part.walls.contains(run.first - 1)
                       : (last && window.toEnd) || part.walls.contains(run.last + 1))
                continue;
            const auto linked = text.extent(part.handles.value(before ? run.first : run.last, -1));
            if (!linked)
                continue;
            found.push_back(Cut{handle, tail, before ? linked->first : linked->second,
                                extent->second - extent->first});
        }
    }
    // Of two that stop at one place, the inner one, whose next element
    // comes first there.
    std::sort(found.begin(), found.end(),
              [](const Cut &a, const Cut &b) { return a.extentSize < b.extentSize; });
    return found;
}

bool EmbeddedObjectReader::grow(const Cut &cut, bool before) {
    LinkWindow &window = m_parts.at(cut.part).window;
    LinkWindow::Run &run = cut.tail ? *window.tail : window.head;
    if (before) {
        if (run.first == 0)
            window.fromStart = true;
        else
            --run.first;
    } else if (run.last == window.count - 1) {
        window.toEnd = true;
    } else {
        ++run.last;
    }
    if (window.tail && window.tail->first <= window.head.last + 1)
        window.join();
    return true;
}

EmbeddedObjectReading EmbeddedObjectReader::record(EmbeddedObjectText text) const {
    EmbeddedObjectReading reading;
    reading.text = std::move(text);
    reading.elements = m_elements;
    for (const auto &[handle, part] : m_parts) {
        EmbeddedObjectReading::Part read;
        read.shown = part.shown();
        qsizetype nodeStart = 0;
        for (const auto &[start, end] : part.window.ownPieces(part.links, part.own.size())) {
            read.pieces.append({nodeStart, start, end - start});
            nodeStart += end - start;
        }
        read.whole = read.pieces.size() == 1 && read.pieces.first().ownStart == 0 &&
                     read.pieces.first().length == part.own.size();
        reading.parts.insert(handle, read);
    }
    return reading;
}

} // namespace tovalit
