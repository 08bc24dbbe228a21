#pragma once

#include "platform/accessibility_element.h"
#include "platform/cold_read.h"
#include "platform/embedded_object_reading.h"

#include <QHash>
#include <QSet>

#include <optional>
#include <unordered_map>
#include <vector>

namespace tovalit {

// Reads a rich-text editor's text around its caret or selection, however
// long the editor: each of its paragraphs is a call to the page, so only
// the paragraphs around the caret are read, as many as the text before and
// after it needs; around a selection, those around its start and those
// around its end, the middle taken as selected and left unread. Elements it
// embeds that embed many in turn (a long list, a table) are read the same
// way. One reader makes one reading, in one job of the accessibility
// thread, within the deadline that job hands it.
//
// Its steps: where the caret or selection stands in the editor's own text
// (`editorEnds`), which paragraphs to read first (`firstWindow`), reading
// them into one text (`build`), leaving out what cannot be read
// (`leaveOut`), and growing the parts read until the text around the
// selection is long enough (`growToReach`).
class EmbeddedObjectReader {
public:
    // Which elements were read, by identity, for a later reading of the
    // same editor to read them again.
    using Windows = QHash<QString, LinkWindow>;

    // `deadline`: the job's, within which a reading asks again what a cold
    // page has not answered yet.
    EmbeddedObjectReader(AccessibilityElementRef editor, EmbeddedObjectKnowledge &knowledge,
                         EmbeddedObjectSelections &selections, ColdReadDeadline &deadline);

    struct Result {
        // Nothing when the editor cannot be read: its own text, or the
        // paragraphs that hold its caret or selection's ends.
        std::optional<EmbeddedObjectReading> reading;
        // Whether the editor's caret and what holds it agreed: the texts
        // read were whole. Where they do not, the caret is not in the
        // reading.
        bool caretConfirmed = false;
        // An element holds a selection that cannot be told, or its
        // paragraph said two things of it: what is selected is not known,
        // and the reading holds no selection.
        bool selectionUnknown = false;
    };
    // The editor's text, given its own (one U+FFFC per element it embeds),
    // read around its selection; with `previous`, the elements that reading
    // read, again. `settledBefore`: the editor's texts were seen whole
    // before.
    Result read(const QString &own, const Windows *previous, bool settledBefore);
    // What this reading read.
    Windows windows() const;

    // Characters of text wanted before and after the selection: what the
    // context of a dictation reads there.
    static constexpr int contextReach = 180;
    // Characters of a selection wanted from its start: what the context
    // keeps of it, with room for the white space it takes out.
    static constexpr int selectionReach = 320;
    // Elements read for one reading at most. Only the parts around the
    // selection's ends are read, so no document comes near it.
    static constexpr int maxElements = 4000;
    // Embedded elements asked for beyond a part, on either side, as it
    // grows an element at a time.
    static constexpr qsizetype linksAhead = 8;
    // An embedded element that embeds more than this many is read in part,
    // as the editor is.
    static constexpr qsizetype readWholeUpTo = 2 * linksAhead + 1;
    // Paragraphs an editor may hold for its own selection to be asked when
    // nothing else says whether its own text is selected: Chromium walks
    // the whole document to answer, a second over ten thousand paragraphs.
    static constexpr qsizetype maxLinksForOwnSelection = 1000;

private:
    // An element read in part: its own text, where its embedded elements
    // stand in it, which were read, and the handles they got.
    struct Part {
        AccessibilityElementRef element;
        QString own;
        QList<qsizetype> links;
        LinkWindow window;
        bool block = true;
        QHash<qsizetype, int> handles; // by link
        // Links whose element cannot be read: the part stops short of them.
        QSet<qsizetype> walls;
        // Where its caret or selection stands in its own text, when known.
        std::optional<TextRange> ends;

        qsizetype shown() const;
    };
    // Where an element stands in the own text of the element that embeds
    // it.
    struct Placement {
        int parent = -1;
        qsizetype offset = 0;
        qsizetype link = 0;
    };
    // Where an embedded element stands against the selection: wholly
    // before it, wholly after it, or holding part of it (or not known to
    // stand elsewhere).
    enum class Side { before, after, inside };
    // What asking an embedded element about the selection tells.
    enum class Probe { selected, notSelected, unknown };
    // A place in the text read where a part read stops short.
    struct Cut {
        int part = -1;
        bool tail = false;
        qsizetype offset = 0;
        // How much text the part's element makes: the inner of two parts
        // that stop at one place is the smaller.
        qsizetype extentSize = 0;
    };
    struct Selection {
        std::optional<TextRange> range;
        // Elements read in part whose selection lies outside what was read
        // of them, with that selection in their own text.
        std::vector<std::pair<int, TextRange>> outside;
    };

    // Where the caret or selection is, and whether the paragraph that
    // holds it agreed.
    struct Ends {
        Ends() = default;
        Ends(std::optional<TextRange> range, bool confirmed,
             std::optional<qsizetype> caret = std::nullopt)
            : range(range)
            , confirmed(confirmed)
            , caret(caret) {}
        std::optional<TextRange> range;
        bool confirmed = false;
        // Where the caret is when what is selected around it is not known.
        std::optional<qsizetype> caret;
    };
    Ends editorEnds(bool settledBefore);
    std::optional<TextRange> endsFromCaretParagraph(qsizetype caret, qsizetype link,
                                                    TextRange selected);
    std::optional<TextRange> endsInOwnText(qsizetype caret);
    qsizetype selectionStartFrom(qsizetype link);
    qsizetype selectionEndFrom(qsizetype link);
    qsizetype farthestSelected(qsizetype from, int direction);
    std::pair<qsizetype, Probe> probeNear(qsizetype link, qsizetype low, qsizetype high);
    Probe probe(qsizetype link);
    std::optional<TextRange> editorOwnSelection();
    // What `element` has selected; one it cannot tell leaves what the
    // reading has selected unknown.
    std::optional<TextRange> selectionOf(AccessibilityElement &element);

    // Reading what is chosen: the text, or the first element that could
    // not be read.
    struct Built {
        std::optional<EmbeddedObjectText> text;
        int unreadable = -1;
    };
    Built build();
    std::optional<EmbeddedObjectNode> readNode(int handle);
    std::optional<EmbeddedObjectNode> partNode(int handle);
    std::optional<EmbeddedObjectNode> wholeNode(int handle);
    // An element's own text and whether it is a block, read once;
    // `holdsEnds`: it holds the caret or an end of the selection.
    std::optional<EmbeddedObjectNode> rawNode(int handle, bool holdsEnds);
    std::optional<EmbeddedObjectNode> readEmbedded(AccessibilityElement &element, bool holdsEnds);
    bool isBlock(AccessibilityElement &element);
    int add(const AccessibilityElementRef &element, int parent, qsizetype offset, qsizetype link);
    bool fetchLinks(int handle, qsizetype first, qsizetype last, bool ahead);
    AccessibilityElement *linkElement(qsizetype link);
    Part &openPart(int handle, AccessibilityElementRef element, QString own, bool block);
    LinkWindow firstWindow(int handle, Part &part);
    Side sideOf(int handle);
    std::optional<TextRange> endsOf(int handle);

    // Leaving out, and growing.
    bool leaveOut(int handle);
    bool leaveOutLink(int handle, qsizetype link);
    Selection selectionIn(const EmbeddedObjectReading &reading);
    bool cover(const std::vector<std::pair<int, TextRange>> &outside);
    bool growToReach(const EmbeddedObjectReading &reading, TextRange selected);
    std::vector<Cut> cuts(const EmbeddedObjectText &text, bool before) const;
    bool grow(const Cut &cut, bool before);

    EmbeddedObjectReading record(EmbeddedObjectText text) const;

    AccessibilityElementRef m_editor;
    EmbeddedObjectKnowledge &m_knowledge;
    EmbeddedObjectSelections &m_selections;
    const Windows *m_previous = nullptr;
    // The editor's texts were seen whole before.
    bool m_settledBefore = false;
    ColdReadDeadline &m_deadline;
    // An element asked holds a selection it cannot tell, or its paragraph
    // contradicted itself.
    bool m_selectionUntold = false;

    std::vector<AccessibilityElementRef> m_elements;
    std::unordered_map<int, Placement> m_placements;
    std::unordered_map<int, Part> m_parts;
    QHash<int, std::optional<EmbeddedObjectNode>> m_raw;
    QHash<int, std::optional<EmbeddedObjectNode>> m_nodes;
    std::unordered_map<int, Side> m_sides;
};

} // namespace tovalit
