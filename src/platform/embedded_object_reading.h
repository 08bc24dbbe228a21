#pragma once

#include "platform/accessibility_element.h"
#include "platform/cold_read.h"
#include "platform/embedded_object_text.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tovalit {

// [start, end) of a text, in UTF-16 code units.
using TextRange = std::pair<qsizetype, qsizetype>;

// What holds for good of the elements of one application's editors:
// whether an element is a block. What an element embeds is never kept
// beyond one reading: an editor whose paragraphs moved has the same text.
// Used on the accessibility thread only.
struct EmbeddedObjectKnowledge {
    QHash<QString, bool> blocks; // by element identity
    // Editors whose texts were seen whole once: the page has sent them.
    QSet<QString> settled;
    // Elements known at most; beyond, what is known is forgotten (a chat's
    // editor makes new paragraphs all day).
    static constexpr int maxKnown = 8192;

    void settle(const QString &editor) {
        if (settled.size() >= maxKnown)
            settled.clear();
        settled.insert(editor);
    }
};

// Which of the elements an element's text embeds were read, by their index
// among them: one run, or two where a long selection leaves its middle
// unread, one around each of its ends.
struct LinkWindow {
    struct Run {
        qsizetype first = 0;
        qsizetype last = 0;
    };
    Run head;
    std::optional<Run> tail;
    // How many elements the text embedded when it was read.
    qsizetype count = 0;
    // The element's own text before its first embedded element, or after
    // its last, was read too.
    bool fromStart = false;
    bool toEnd = false;

    // Two runs closer than this are read as one: the middle of a short
    // selection costs less than a second round of calls.
    static constexpr qsizetype joinedWithin = 16;

    // The elements at `ends` of the text, whose embedded elements stand at
    // `links`: at a caret, the element there or those on either side of
    // it; around a selection, those at its start and those at its end.
    static LinkWindow around(const QList<qsizetype> &links, TextRange ends);
    // The same elements read again in a text that now embeds `count`:
    // counted from the same first one, with as many more or fewer at the
    // end as came or went (a paste of several lines makes paragraphs of its
    // own, a paste over a selection takes its paragraphs away). Nothing when
    // they no longer fit.
    std::optional<LinkWindow> readAgain(qsizetype count) const;

    const Run &lastRun() const { return tail ? *tail : head; }
    Run &lastRun() { return tail ? *tail : head; }
    bool holds(qsizetype link) const;
    // [start, end) of the element's own text each run covers, in order.
    QList<TextRange> ownPieces(const QList<qsizetype> &links, qsizetype ownSize) const;
    // One run where the two meet.
    void join();
    // Grown to hold what `other` holds too; whether it grew.
    bool include(const LinkWindow &other);
};

// The carets and selections of the elements of one editor as asked in one
// job of the accessibility thread: each costs the page a read of the text
// up to it, and none moves within the job.
class EmbeddedObjectSelections {
public:
    // The element's caret in its own text. With a deadline, asked again
    // while it does not answer (Firefox knows no caret in a text the page
    // has not sent it yet); without, asked twice.
    std::optional<qsizetype> caret(AccessibilityElement &element,
                                   ColdReadDeadline *deadline = nullptr);
    // What an element says of its selection: where its own text is
    // selected, its caret as an empty range; nothing where it shows
    // neither, or holds a selection it cannot tell (`unknown`).
    struct Selected {
        std::optional<TextRange> range;
        bool unknown = false;
    };
    Selected selection(AccessibilityElement &element);
    void clear();

private:
    QHash<QString, std::optional<qsizetype>> m_carets;
    QHash<QString, Selected> m_selections;
};

// One reading of an editor's text: the text as its user reads it, the
// elements it came from, where in their own texts the parts read of the
// long ones lie, and the selection in it.
struct EmbeddedObjectReading {
    // A stretch of an element's own text in the part of it read.
    struct Piece {
        qsizetype nodeStart = 0;
        qsizetype ownStart = 0;
        qsizetype length = 0;
    };
    // An element read in part (the editor, a long list or table).
    struct Part {
        QList<Piece> pieces;
        // How much of its whole own text shows (a block's last line break
        // does not).
        qsizetype shown = 0;
        bool whole = false;
    };
    // One element's own text that a range of the text stands for.
    struct OwnSpan {
        int node = 0;
        qsizetype start = 0;
        qsizetype end = 0;
    };

    EmbeddedObjectText text;
    // By handle: the element each stands for, the editor first.
    std::vector<AccessibilityElementRef> elements;
    QHash<int, Part> parts; // by handle
    std::optional<TextRange> selection;

    // The place in an element's whole own text of an offset in what was
    // read of it; `atEnd` takes the end of a piece where two meet, as the
    // end of a range does.
    std::optional<qsizetype> ownOffset(int node, qsizetype offset, bool atEnd = false) const;
    // The reverse; nothing for a place that was not read.
    std::optional<qsizetype> nodeOffset(int node, qsizetype own) const;
    // The one element's own text that [start, end) of the text covers;
    // nothing where it would take in an element read in part as a whole,
    // or run across what was not read.
    std::optional<OwnSpan> ownSpan(qsizetype start, qsizetype end) const;
};

} // namespace tovalit
