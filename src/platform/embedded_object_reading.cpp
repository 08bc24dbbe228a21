#include "platform/embedded_object_reading.h"

#include <algorithm>

namespace tovalit {

namespace {

constexpr QChar objectCharacter(EmbeddedObjectText::objectReplacementCharacter);

// The elements at a place of a text, or on either side of it.
LinkWindow::Run runAround(const QList<qsizetype> &links, qsizetype at, bool *fromStart,
                          bool *toEnd) {
    LinkWindow::Run run;
    run.first = std::upper_bound(links.cbegin(), links.cend(), at) - links.cbegin() - 1;
    *fromStart = run.first < 0;
    run.first = std::max<qsizetype>(run.first, 0);
    run.last = std::lower_bound(links.cbegin(), links.cend(), at) - links.cbegin();
    *toEnd = run.last >= links.size();
    run.last = std::min<qsizetype>(run.last, links.size() - 1);
    return run;
}

bool fits(const LinkWindow::Run &run, qsizetype count) {
    return run.first >= 0 && run.last >= run.first && run.last < count;
}

} // namespace

LinkWindow LinkWindow::around(const QList<qsizetype> &links, TextRange ends) {
    LinkWindow window;
    window.count = links.size();
    bool endsAfter = false;
    window.head = runAround(links, ends.first, &window.fromStart, &endsAfter);
    if (ends.second > ends.first) {
        bool unused = false;
        window.tail = runAround(links, ends.second - 1, &unused, &endsAfter);
        // The end's run starts no earlier than the start's.
        window.tail->first = std::max(window.tail->first, window.head.first);
        if (window.tail->first <= window.head.last + joinedWithin)
            window.join();
    }
    window.toEnd = endsAfter;
    return window;
}

std::optional<LinkWindow> LinkWindow::readAgain(qsizetype newCount) const {
    LinkWindow again = *this;
    const qsizetype moved = newCount - count;
    again.count = newCount;
    if (again.tail) {
        again.tail->first += moved;
        again.tail->last += moved;
        if (again.tail->first <= again.head.last + 1) {
            again.head.last = std::max(again.head.first, again.tail->last);
            again.tail.reset();
        }
    } else {
        again.head.last += moved;
    }
    if (!fits(again.head, newCount) || (again.tail && !fits(*again.tail, newCount)))
        return std::nullopt;
    return again;
}

bool LinkWindow::holds(qsizetype link) const {
    return (link >= head.first && link <= head.last) ||
           (tail && link >= tail->first && link <= tail->last);
}

QList<TextRange> LinkWindow::ownPieces(const QList<qsizetype> &links, qsizetype ownSize) const {
    QList<TextRange> pieces;
    if (links.isEmpty()) {
        pieces.append({0, ownSize});
        return pieces;
    }
    const qsizetype headStart = fromStart ? 0 : links[head.first];
    if (!tail) {
        pieces.append({headStart, toEnd ? ownSize : links[head.last] + 1});
        return pieces;
    }
    pieces.append({headStart, links[head.last] + 1});
    pieces.append({links[tail->first], toEnd ? ownSize : links[tail->last] + 1});
    return pieces;
}

void LinkWindow::join() {
    if (!tail)
        return;
    head.last = std::max(head.last, tail->last);
    tail.reset();
}

bool LinkWindow::include(const LinkWindow &other) {
    QList<Run> runs{head};
    if (tail)
        runs.append(*tail);
    runs.append(other.head);
    if (other.tail)
        runs.append(*other.tail);
    std::sort(runs.begin(), runs.end(),
              [](const Run &a, const Run &b) { return a.first < b.first; });
    // Runs that meet become one; of more than two, the two nearest join
    // until two are left.
    QList<Run> merged{runs.first()};
    for (qsizetype index = 1; index < runs.size(); ++index) {
        if (runs[index].first <= merged.last().last + 1)
            merged.last().last = std::max(merged.last().last, runs[index].last);
        else
            merged.append(runs[index]);
    }
    while (merged.size() > 2) {
        qsizetype nearest = 0;
        for (qsizetype index = 1; index + 1 < merged.size(); ++index) {
            if (merged[index + 1].first - merged[index].last <
                merged[nearest + 1].first - merged[nearest].last)
                nearest = index;
        }
        merged[nearest].last = merged[nearest + 1].last;
        merged.removeAt(nearest + 1);
    }
    LinkWindow grown = *this;
    grown.head = merged.first();
    grown.tail.reset();
    if (merged.size() == 2)
        grown.tail = merged.last();
    grown.fromStart = fromStart || other.fromStart;
    grown.toEnd = toEnd || other.toEnd;
    const bool grew =
        grown.head.first != head.first || grown.head.last != head.last ||
        grown.tail.has_value() != tail.has_value() ||
        (tail && (grown.tail->first != tail->first || grown.tail->last != tail->last)) ||
        grown.fromStart != fromStart || grown.toEnd != toEnd;
    *this = grown;
    return grew;
}

std::optional<qsizetype> EmbeddedObjectSelections::caret(AccessibilityElement &element,
                                                         ColdReadDeadline *deadline) {
    const QString identity = element.identity();
    if (const auto known = m_carets.constFind(identity); known != m_carets.constEnd())
        return *known;
    const auto read = [&element]() -> std::optional<qsizetype> {
        const auto range =
            accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::caret));
        if (!range || range->location < 0)
            return std::nullopt;
        return qsizetype(range->location);
    };
    std::optional<qsizetype> caret = read();
    if (deadline)
        caret = readAgainWhileUnanswered(
            caret, read, [](const std::optional<qsizetype> &found) { return !found; }, *deadline);
    else if (!caret)
        caret = read();
    m_carets.insert(identity, caret);
    return caret;
}

EmbeddedObjectSelections::Selected
EmbeddedObjectSelections::selection(AccessibilityElement &element) {
    const QString identity = element.identity();
    if (const auto known = m_selections.constFind(identity); known != m_selections.constEnd())
        return *known;
    const auto read = [&element]() -> std::optional<TextRange> {
        const auto range =
            accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
        if (!range || range->location < 0 || range->length < 0)
            return std::nullopt;
        return TextRange{qsizetype(range->location), qsizetype(range->location + range->length)};
    };
    // The element the caret is in says where, once Firefox keeps its text.
    Selected selected{read()};
    if (!selected.range)
        selected.range = read();
    if (!selected.range) {
        const auto count =
            accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectionCount));
        selected.unknown = count && count->length > 0;
    }
    m_selections.insert(identity, selected);
    return selected;
}

void EmbeddedObjectSelections::clear() {
    m_carets.clear();
    m_selections.clear();
}

std::optional<qsizetype> EmbeddedObjectReading::ownOffset(int node, qsizetype offset,
                                                          bool atEnd) const {
    const auto part = parts.constFind(node);
    if (part == parts.constEnd())
        return offset;
    const QList<Piece> &pieces = part->pieces;
    for (qsizetype index = 0; index < pieces.size(); ++index) {
        const Piece &piece = pieces[index];
        const qsizetype end = piece.nodeStart + piece.length;
        if (offset < piece.nodeStart || offset > end)
            continue;
        // Where two pieces meet, a start belongs to the one after.
        if (offset == end && !atEnd && index + 1 < pieces.size())
            continue;
        return piece.ownStart + offset - piece.nodeStart;
    }
    return std::nullopt;
}

std::optional<qsizetype> EmbeddedObjectReading::nodeOffset(int node, qsizetype own) const {
    const auto part = parts.constFind(node);
    if (part == parts.constEnd())
        return own;
    for (const Piece &piece : part->pieces) {
        if (own >= piece.ownStart && own <= piece.ownStart + piece.length)
            return piece.nodeStart + own - piece.ownStart;
    }
    return std::nullopt;
}

std::optional<EmbeddedObjectReading::OwnSpan> EmbeddedObjectReading::ownSpan(qsizetype start,
                                                                             qsizetype end) const {
    const auto span = text.span(start, end);
    if (!span)
        return std::nullopt;
    // A range that takes in an element read in part as a whole would stand
    // for all of it, the part not read too.
    const QString nodeText = text.nodeText(span->node);
    for (qsizetype offset = span->start; offset < span->end && offset < nodeText.size(); ++offset) {
        if (nodeText[offset] != objectCharacter)
            continue;
        const auto child = text.objectAt({span->node, offset});
        if (!child)
            continue;
        if (const auto part = parts.constFind(*child); part != parts.constEnd() && !part->whole)
            return std::nullopt;
    }
    const auto from = ownOffset(span->node, span->start);
    const auto to = ownOffset(span->node, span->end, span->end > span->start);
    // Across a stretch not read, the range stands for more than was read.
    if (!from || !to || *to - *from != span->end - span->start)
        return std::nullopt;
    return OwnSpan{span->node, *from, *to};
}

} // namespace tovalit
