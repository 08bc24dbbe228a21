#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace tovalit {

// One element of a text that embeds other elements, as read: its own text,
// with an object replacement character (U+FFFC) where each embedded
// element stands.
struct EmbeddedObjectNode {
    // UTF-16.
    QString text;
    // Handles of the embedded elements, the n-th standing at the n-th
    // U+FFFC of `text`.
    QList<int> objects;
    // A block (a paragraph, a heading, a list item) stands on lines of its
    // own, and a line break at its end starts no further line; anything
    // else runs on in the line it sits in.
    bool block = false;
};

// The text of a rich-text editor as its user reads it.
//
// A web page's editor whose paragraphs are elements of their own exposes,
// as its own text, one U+FFFC per paragraph or inline object; the visible
// text lives in those elements, which may embed others in turn. Here that
// tree becomes one string, blocks set apart by a line feed, with the
// mapping between an offset of that string and a place in one element's
// own text. All offsets are UTF-16 code units.
class EmbeddedObjectText {
public:
    // Handle 0 is the element whose text is read; `read` hands out a
    // handle for each element it finds embedded, and gives nothing for an
    // element it cannot read.
    using Reader = std::function<std::optional<EmbeddedObjectNode>(int node)>;
    // Nothing when an element could not be read, or when the tree has more
    // than `maxNodes` elements or nests deeper than maxDepth: such a text
    // is not read at all rather than read in part.
    static std::optional<EmbeddedObjectText> read(const Reader &read, int maxNodes);

    const QString &text() const { return m_text; }

    // A place in one element's own text.
    struct Position {
        int node = 0;
        qsizetype offset = 0;

        bool operator==(const Position &) const = default;
    };
    // [start, end) of one element's own text.
    struct Span {
        int node = 0;
        qsizetype start = 0;
        qsizetype end = 0;

        bool operator==(const Span &) const = default;
    };

    // The offset in the text of a place in an element's own text; at an
    // embedded element, the start of that element's text. Nothing for an
    // element not read or an offset outside its text.
    std::optional<qsizetype> offsetOf(Position position) const;
    // The element embedded at that place, when one is.
    std::optional<int> objectAt(Position position) const;
    // The one element's own text that [start, end) of the text covers; a
    // range that takes in whole embedded elements belongs to the element
    // that embeds them. Nothing when the range lies outside the text or
    // spans parts of several elements.
    std::optional<Span> span(qsizetype start, qsizetype end) const;
    // The element's own text, as read.
    QString nodeText(int node) const;
    // [start, end) of the text that the element and what it embeds make;
    // nothing for an element not read.
    std::optional<std::pair<qsizetype, qsizetype>> extent(int node) const;

    // Where an element's selection lies in its own text, the caret as an
    // empty range; nothing when it shows neither.
    using SelectionReader = std::function<std::optional<std::pair<qsizetype, qsizetype>>(int node)>;
    // The selection [start, end) in the text, given the root's own: an end
    // that falls on an embedded element is followed into that element, as
    // far as the elements say where the selection lies in them (an editor
    // reports its caret at the paragraph that holds it). Nothing when an
    // end lies outside the root's text.
    std::optional<std::pair<qsizetype, qsizetype>>
    selection(std::pair<qsizetype, qsizetype> rootSelection, const SelectionReader &read) const;

    static constexpr char16_t objectReplacementCharacter = u'\uFFFC';
    static constexpr int maxDepth = 32;

private:
    // A run of an element's own text between its embedded elements, and
    // where it landed in the text. An element with no text at all has one
    // empty run, so that its caret has a place.
    struct Run {
        int node = 0;
        qsizetype nodeStart = 0;
        qsizetype nodeEnd = 0;
        qsizetype start = 0;
    };
    struct Embedded {
        qsizetype offset = 0;
        int node = 0;
    };
    struct Node {
        QString text;
        int parent = -1;
        // Where the element's U+FFFC stands in its parent's text.
        qsizetype offsetInParent = 0;
        int depth = 0;
        // How much of its own text shows; the rest is a line break that
        // does not.
        qsizetype shown = 0;
        // [start, end) of its whole content in the text.
        qsizetype start = 0;
        qsizetype end = 0;
        QList<Embedded> objects;
        QList<Run> runs;
    };
    enum class Bias { caret, start, end };

    bool add(int handle, const EmbeddedObjectNode &node, int parent, qsizetype offsetInParent,
             int depth, const Reader &read, int maxNodes);
    void appendRun(Node &info, int handle, qsizetype nodeStart, qsizetype nodeEnd);
    std::optional<Position> positionAt(qsizetype offset, Bias bias) const;
    std::optional<qsizetype> selectionStart(int node, qsizetype offset, const SelectionReader &read,
                                            int depth) const;
    std::optional<qsizetype> selectionEnd(int node, qsizetype offset, const SelectionReader &read,
                                          int depth) const;

    QString m_text;
    QHash<int, Node> m_nodes;
    QList<Run> m_runs;
};

} // namespace tovalit
