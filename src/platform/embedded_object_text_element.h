#pragma once

#include "platform/accessibility_element.h"
#include "platform/embedded_object_text.h"

#include <QHash>
#include <QSet>

#include <memory>
#include <unordered_map>
#include <vector>

namespace tovalit {

// An element read as its user sees it when its text embeds other elements,
// as a web page's rich-text editor's does (AXEmbeddedObjects): its value
// is the text of its paragraphs, its selection and caret are found in the
// paragraph that holds them, and ranges of that text reach the right
// paragraph again (to select, to read bounds). Its whole value is never
// written: the editor would ignore the write or lose its paragraphs to it.
//
// An editor may hold thousands of paragraphs, each a call to its page: its
// value is the paragraphs around the selection, as many as the text before
// and after it needs (`contextReach`), not the whole document. The first
// reading fixes which paragraphs those are, and later readings of the same
// element read the same ones, counted from the first, with as many more or
// fewer at the end as the editor gained or lost: a paste read back shows in
// the value read before it, offsets and all.
// An element embedded in it that embeds many in turn (a long list, a
// table) is read the same way: from its end when it stands before the
// caret, from its start when after, around its own caret when it holds
// it, and again the same part in a later reading.
// Any other element reads as it is. Elements reached from it (parent,
// children, focus) are wrapped in turn, so the whole tree reads this way.
class EmbeddedObjectTextElement final : public AccessibilityElement {
public:
    // What was found out about the elements reached from one another and
    // holds for good: whether an element is a block. What an element
    // embeds is never kept beyond one reading: an editor whose paragraphs
    // moved has the same text. Used on the accessibility thread only.
    struct Knowledge {
        QHash<QString, bool> blocks; // by element identity
        // Embedded elements whose text was asked for before: Firefox
        // answers the first reads of a paragraph with nothing.
        QSet<QString> asked;
    };

    // `element` as it is when it is empty or wrapped already. Without
    // `knowledge`, it starts knowing nothing.
    static AccessibilityElementRef wrap(AccessibilityElementRef element,
                                        std::shared_ptr<Knowledge> knowledge = nullptr);

    EmbeddedObjectTextElement(AccessibilityElementRef element,
                              std::shared_ptr<Knowledge> knowledge);

    QString identity() const override;
    std::optional<AccessibilityValue> attributeValue(const QString &attribute) override;
    std::optional<AccessibilityValue>
    parameterizedAttributeValue(const QString &attribute,
                                const AccessibilityValue &parameter) override;
    bool setAttributeValue(const QString &attribute, const AccessibilityValue &value) override;
    bool isAttributeSettable(const QString &attribute) override;
    QStringList attributeNames() override;
    std::optional<qint32> processIdentifier() override;

    // Characters of text wanted before and after the selection: what the
    // context of a dictation reads there.
    static constexpr int contextReach = 180;
    // Elements read for one value at most (the paragraphs around the
    // selection and what they embed): beyond, it is not read rather than
    // read slowly. Only a selection over so many paragraphs gets there.
    static constexpr int maxElements = 2000;
    // Paragraphs beyond the window asked for with it, on either side, as
    // it grows a paragraph at a time.
    static constexpr qsizetype linksAhead = 8;
    // Paragraphs an editor may hold for its own selection to be asked,
    // at most: Chromium takes a second to answer over ten thousand.
    static constexpr qsizetype maxLinksForOwnSelection = 1000;
    // An embedded element that embeds more than this many is read in
    // part, as the editor is.
    static constexpr qsizetype readWholeUpTo = 2 * linksAhead + 1;
    // Elements known at most; beyond, what is known is forgotten.
    static constexpr int maxKnown = 8192;

private:
    // The paragraphs read: the element's own text from the `first` of its
    // embedded elements to the `last`, or from the start or to the end of
    // that text; `count` is how many it embedded then.
    struct Window {
        qsizetype first = 0;
        qsizetype last = 0;
        qsizetype count = 0;
        bool fromStart = false;
        bool toEnd = false;
    };
    // [start, end) of an element's own text that was read, and how much
    // of its whole own text shows (a block's last line break does not).
    struct Part {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype shown = 0;
        bool whole = false;
    };
    struct Reading {
        EmbeddedObjectText text;
        // By handle: the element each stands for, this one first.
        std::vector<AccessibilityElementRef> elements;
        // Where the text read starts in the element's own text.
        qsizetype ownStart = 0;
        qsizetype ownEnd = 0;
        qsizetype ownSize = 0;
        // How many elements its own text embeds.
        qsizetype linkCount = 0;
        // By handle, the elements read in part, this one included.
        QHash<int, Part> parts;
    };

    std::optional<AccessibilityValue> wrapped(std::optional<AccessibilityValue> value) const;
    // Whether the element's text embeds other elements, read or not.
    bool embeds();
    // The text through what it embeds; nothing when it embeds nothing or
    // cannot be read (`embedded` says which). Read once per job of the
    // accessibility thread.
    std::optional<Reading> read(bool *embedded = nullptr);
    std::optional<Reading> readWindow(const QString &own);
    // The own text of an element embedded in the text read, with whether
    // it is a block, and none of the elements it embeds.
    std::optional<EmbeddedObjectNode> readEmbedded(AccessibilityElement &element);
    // The element's text asked for again while it reads empty, as Firefox
    // answers before the page has sent it the text.
    static std::optional<AccessibilityValue>
    askedAgainWhileEmpty(AccessibilityElement &element, std::optional<AccessibilityValue> value);
    bool isBlock(AccessibilityElement &element);
    // The selection in the text read; `growBefore` and `growAfter` say
    // that it runs on past the paragraphs read.
    std::optional<std::pair<qsizetype, qsizetype>>
    selection(const Reading &reading, bool *growBefore = nullptr, bool *growAfter = nullptr);
    // The selection in the element's own text, put together from its caret
    // and the selections of the paragraphs read around it.
    std::optional<std::pair<qsizetype, qsizetype>> ownSelection(const Reading &reading,
                                                                bool *growBefore, bool *growAfter);
    // The selection in the element's own text outside its paragraphs,
    // where the caret is; `growBefore` and `growAfter` as for selection().
    std::pair<qsizetype, qsizetype> ownTextSelection(const Reading &reading, qsizetype caret,
                                                     bool *growBefore, bool *growAfter);
    // The element's caret in its own text, asked once per job.
    std::optional<qsizetype> ownCaret();
    // The selection of an element embedded in the text read, in its whole
    // own text, asked once per job.
    std::optional<std::pair<qsizetype, qsizetype>> nodeSelection(const Reading &reading, int node);
    // The same in the part of its own text that was read; nothing when it
    // lies outside that part (noted in `m_outside`).
    std::optional<std::pair<qsizetype, qsizetype>> readSelection(const Reading &reading, int node);
    // How much of an element's whole own text shows.
    static qsizetype shownSize(const Reading &reading, int node);
    // The one element's own text that [start, end) of the value covers;
    // nothing where it would take in an element read in part as a whole.
    static std::optional<EmbeddedObjectText::Span> spanOf(const Reading &reading, qsizetype start,
                                                          qsizetype end);
    // Offsets of an element read in its own text.
    static qsizetype ownOffset(const Reading &reading, int node, qsizetype offset);
    // A range of the text clamped to its end; nothing when it starts
    // outside it or either end splits a surrogate pair.
    static std::optional<std::pair<qsizetype, qsizetype>> textRange(const QString &text,
                                                                    AccessibilityRange range);

    AccessibilityElementRef m_element;
    std::shared_ptr<Knowledge> m_knowledge;
    // Once seen to embed, for good: its text is never written whole.
    bool m_embeds = false;
    std::optional<Window> m_window;
    // The parts read of the elements it embeds that were read in part, by
    // identity, from the same reading as `m_window`.
    QHash<QString, Window> m_parts;
    // Elements read in part whose selection lies outside the part read, by
    // handle, with the selection in their whole own text.
    std::unordered_map<int, std::pair<qsizetype, qsizetype>> m_outside;
    // The reading of the job that read last, and the element's own value
    // then.
    quint64 m_readingJob = 0;
    bool m_readingEmbeds = false;
    std::optional<AccessibilityValue> m_own;
    std::optional<Reading> m_reading;
    // The element's own text read for the job about to read, and the
    // elements' own selections (by handle; this element's caret at 0) as
    // the job read them: each costs the page a read of the text up to it.
    std::optional<std::optional<AccessibilityValue>> m_preread;
    std::unordered_map<int, std::optional<std::pair<qsizetype, qsizetype>>> m_carets;
    // Where m_carets keeps the element's own selection.
    static constexpr int ownTextSelectionKey = -1;
};

} // namespace tovalit
