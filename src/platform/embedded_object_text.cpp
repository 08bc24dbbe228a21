#include "platform/embedded_object_text.h"

#include <algorithm>
#include <tuple>

namespace tovalit {

std::optional<EmbeddedObjectText> EmbeddedObjectText::read(const Reader &read, int maxNodes) {
    const std::optional<EmbeddedObjectNode> root = read(0);
    if (!root || maxNodes < 1)
        return std::nullopt;
    EmbeddedObjectText text;
    if (!text.add(0, *root, -1, 0, 0, read, maxNodes))
        return std::nullopt;
    return text;
}

bool EmbeddedObjectText::add(int handle, const EmbeddedObjectNode &node, int parent,
                             qsizetype offsetInParent, int depth, const Reader &read,
                             int maxNodes) {
    // A handle met twice is a tree that runs in a circle.
    if (m_nodes.contains(handle) || m_nodes.size() >= maxNodes || depth > maxDepth)
        return false;
    m_nodes.insert(handle, Node{});
    Node info;
    info.text = node.text;
    info.parent = parent;
    info.offsetInParent = offsetInParent;
    info.depth = depth;
    info.start = m_text.size();

    // A line feed goes between two neighbours when either is a block.
    enum class Last { nothing, inlineItem, block } last = Last::nothing;
    const auto separate = [&](bool block) {
        if (last == Last::block || (block && last != Last::nothing))
            m_text += QLatin1Char('\n');
    };
    // A block's last line break (an empty paragraph's, or one at the end
    // of a paragraph) starts no line of its own on the page.
    info.shown = node.text.size();
    if (node.block && node.text.endsWith(QLatin1Char('\n')))
        --info.shown;
    qsizetype runStart = 0;
    qsizetype object = 0;
    for (qsizetype index = 0; index < info.shown; ++index) {
        if (node.text[index] != QChar(objectReplacementCharacter) || object >= node.objects.size())
            continue;
        if (index > runStart) {
            separate(false);
            appendRun(info, handle, runStart, index);
            last = Last::inlineItem;
        }
        const int child = node.objects[object++];
        const std::optional<EmbeddedObjectNode> childNode = read(child);
        if (!childNode)
            return false;
        separate(childNode->block);
        info.objects.append(Embedded{index, child});
        if (!add(child, *childNode, handle, index, depth + 1, read, maxNodes))
            return false;
        last = childNode->block ? Last::block : Last::inlineItem;
        runStart = index + 1;
    }
    if (info.shown > runStart) {
        separate(false);
        appendRun(info, handle, runStart, info.shown);
    }
    if (info.runs.isEmpty() && info.objects.isEmpty())
        appendRun(info, handle, 0, 0);
    info.end = m_text.size();
    m_nodes.insert(handle, info);
    return true;
}

void EmbeddedObjectText::appendRun(Node &info, int handle, qsizetype nodeStart, qsizetype nodeEnd) {
    const Run run{handle, nodeStart, nodeEnd, m_text.size()};
    m_text += QStringView(info.text).mid(nodeStart, nodeEnd - nodeStart);
    info.runs.append(run);
    m_runs.append(run);
}

std::optional<qsizetype> EmbeddedObjectText::offsetOf(Position position) const {
    const auto found = m_nodes.constFind(position.node);
    if (found == m_nodes.constEnd())
        return std::nullopt;
    const Node &node = *found;
    if (position.offset < 0 || position.offset > node.text.size())
        return std::nullopt;
    const qsizetype offset = std::min(position.offset, node.shown);
    for (const Embedded &embedded : node.objects) {
        if (embedded.offset == offset)
            return m_nodes.value(embedded.node).start;
    }
    for (const Run &run : node.runs) {
        if (run.nodeStart <= offset && offset < run.nodeEnd)
            return run.start + offset - run.nodeStart;
    }
    for (const Run &run : node.runs) {
        if (offset == run.nodeEnd)
            return run.start + run.nodeEnd - run.nodeStart;
    }
    for (const Embedded &embedded : node.objects) {
        if (embedded.offset + 1 == offset)
            return m_nodes.value(embedded.node).end;
    }
    return node.start;
}

std::optional<int> EmbeddedObjectText::objectAt(Position position) const {
    const auto found = m_nodes.constFind(position.node);
    if (found == m_nodes.constEnd())
        return std::nullopt;
    for (const Embedded &embedded : found->objects) {
        if (embedded.offset == position.offset)
            return embedded.node;
    }
    return std::nullopt;
}

QString EmbeddedObjectText::nodeText(int node) const {
    return m_nodes.value(node).text;
}

std::optional<std::pair<qsizetype, qsizetype>> EmbeddedObjectText::extent(int node) const {
    const auto found = m_nodes.constFind(node);
    if (found == m_nodes.constEnd())
        return std::nullopt;
    return std::pair{found->start, found->end};
}

std::optional<EmbeddedObjectText::Position> EmbeddedObjectText::positionAt(qsizetype offset,
                                                                           Bias bias) const {
    // Where two runs meet, a range's start belongs to the run after, its
    // end to the run before; a caret takes the first.
    std::optional<Position> fallback;
    for (const Run &run : m_runs) {
        const qsizetype length = run.nodeEnd - run.nodeStart;
        if (offset < run.start || offset > run.start + length)
            continue;
        const Position position{run.node, run.nodeStart + offset - run.start};
        if (length > 0 && ((bias == Bias::start && offset == run.start + length) ||
                           (bias == Bias::end && offset == run.start))) {
            if (!fallback)
                fallback = position;
            continue;
        }
        return position;
    }
    return fallback;
}

std::optional<EmbeddedObjectText::Span> EmbeddedObjectText::span(qsizetype start,
                                                                 qsizetype end) const {
    if (start < 0 || end < start || end > m_text.size())
        return std::nullopt;
    if (start == end) {
        const std::optional<Position> caret = positionAt(start, Bias::caret);
        if (!caret)
            return std::nullopt;
        return Span{caret->node, caret->offset, caret->offset};
    }
    std::optional<Position> from = positionAt(start, Bias::start);
    std::optional<Position> to = positionAt(end, Bias::end);
    if (!from || !to)
        return std::nullopt;
    // An end at the very edge of an element's text stands for that element
    // as a whole in its parent's text: climb until both ends share one.
    while (from->node != to->node) {
        const Node a = m_nodes.value(from->node);
        const Node b = m_nodes.value(to->node);
        const bool fromLifts = a.parent >= 0 && offsetOf(*from) == a.start;
        const bool toLifts = b.parent >= 0 && offsetOf(*to) == b.end;
        if (a.depth >= b.depth && fromLifts)
            from = Position{a.parent, a.offsetInParent};
        else if (b.depth >= a.depth && toLifts)
            to = Position{b.parent, b.offsetInParent + 1};
        else
            return std::nullopt;
    }
    return Span{from->node, from->offset, to->offset};
}

std::optional<std::pair<qsizetype, qsizetype>>
EmbeddedObjectText::selection(std::pair<qsizetype, qsizetype> rootSelection,
                              const SelectionReader &read) const {
    int node = 0;
    auto [start, end] = rootSelection;
    // A caret on an embedded element is somewhere inside it, perhaps as
    // the end of a selection that lies wholly there.
    for (int depth = 0; start == end && depth < maxDepth; ++depth) {
        const std::optional<int> child = objectAt(Position{node, start});
        if (!child)
            break;
        const auto inside = read(*child);
        if (!inside) {
            const qsizetype offset = m_nodes.value(*child).start;
            return std::pair{offset, offset};
        }
        node = *child;
        std::tie(start, end) = *inside;
    }
    if (start == end) {
        const std::optional<qsizetype> caret = offsetOf(Position{node, start});
        if (!caret)
            return std::nullopt;
        return std::pair{*caret, *caret};
    }
    const std::optional<qsizetype> from = selectionStart(node, start, read, 0);
    const std::optional<qsizetype> to = selectionEnd(node, end, read, 0);
    if (!from || !to)
        return std::nullopt;
    return std::pair{std::min(*from, *to), std::max(*from, *to)};
}

std::optional<qsizetype> EmbeddedObjectText::selectionStart(int node, qsizetype offset,
                                                            const SelectionReader &read,
                                                            int depth) const {
    if (const std::optional<int> child = objectAt(Position{node, offset});
        child && depth < maxDepth) {
        if (const auto inside = read(*child))
            return selectionStart(*child, inside->first, read, depth + 1);
        return m_nodes.value(*child).start;
    }
    return offsetOf(Position{node, offset});
}

std::optional<qsizetype> EmbeddedObjectText::selectionEnd(int node, qsizetype offset,
                                                          const SelectionReader &read,
                                                          int depth) const {
    const std::optional<int> child =
        offset > 0 ? objectAt(Position{node, offset - 1}) : std::nullopt;
    if (child && depth < maxDepth) {
        if (const auto inside = read(*child))
            return selectionEnd(*child, inside->second, read, depth + 1);
        return m_nodes.value(*child).end;
    }
    // An end where a run of the element's text meets a block after it ends
    // that run, short of the line break that sets the block apart.
    for (const Run &run : m_nodes.value(node).runs) {
        if (run.nodeEnd == offset && run.nodeEnd > run.nodeStart)
            return run.start + run.nodeEnd - run.nodeStart;
    }
    return offsetOf(Position{node, offset});
}

} // namespace tovalit
