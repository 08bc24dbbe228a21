#pragma once

#include "platform/accessibility_element.h"
#include "platform/embedded_object_reader.h"
#include "platform/embedded_object_reading.h"

#include <memory>
#include <optional>

namespace tovalit {

// An element read as its user sees it when its text embeds other elements,
// as a web page's rich-text editor's does (AXEmbeddedObjects): its value
// is the text of its paragraphs, its selection and caret are found in the
// paragraph that holds them, and ranges of that text reach the right
// paragraph again (to select, to read bounds). Its whole value is never
// written: the editor would ignore the write or lose its paragraphs to it.
//
// An editor may hold thousands of paragraphs, each a call to its page: its
// value is the paragraphs around the selection (EmbeddedObjectReader), not
// the whole document. The first reading fixes which paragraphs those are,
// and later readings of the same element read the same ones, counted from
// the first, with as many more or fewer at the end as the editor gained or
// lost: a paste read back shows in the value read before it, offsets and
// all.
// Any other element reads as it is. Elements reached from it (parent,
// children, focus) are wrapped in turn, so the whole tree reads this way.
class EmbeddedObjectTextElement final : public AccessibilityElement {
public:
    using Knowledge = EmbeddedObjectKnowledge;

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

    static constexpr int contextReach = EmbeddedObjectReader::contextReach;
    static constexpr qsizetype linksAhead = EmbeddedObjectReader::linksAhead;
    static constexpr qsizetype readWholeUpTo = EmbeddedObjectReader::readWholeUpTo;
    static constexpr int maxKnown = EmbeddedObjectKnowledge::maxKnown;

private:
    std::optional<AccessibilityValue> wrapped(std::optional<AccessibilityValue> value) const;
    // Whether the element's text embeds other elements, read or not.
    bool embeds();
    // The reading of this job of the accessibility thread, made at its
    // first read; nothing when the text embeds nothing or cannot be read
    // (`embedded` says which).
    const EmbeddedObjectReading *reading(bool *embedded);
    // The reading of job number `job` (0: outside a job), whose cold reads
    // wait within `deadline`.
    void readForJob(quint64 job, ColdReadDeadline &deadline);
    // Whether the own text just read, empty where it embeds elements, is
    // one the page has not sent yet: read again within `deadline`, and
    // still without them.
    bool readColdOwnAgain(ColdReadDeadline &deadline);
    std::optional<EmbeddedObjectReading> readSettled(QString own, ColdReadDeadline &deadline);
    std::optional<AccessibilityValue> selectionValue(const QString &attribute,
                                                     const EmbeddedObjectReading &reading) const;
    std::optional<AccessibilityValue> rangeValue(const QString &attribute,
                                                 const EmbeddedObjectReading &reading,
                                                 AccessibilityRange range) const;
    bool select(const EmbeddedObjectReading &reading, AccessibilityRange range);

    AccessibilityElementRef m_element;
    std::shared_ptr<Knowledge> m_knowledge;
    // Once seen to embed, for good: its text is never written whole.
    bool m_embeds = false;
    // What the last reading that read read, to read it again.
    std::optional<EmbeddedObjectReader::Windows> m_windows;
    // The job that read last: whether its text embedded others, its own
    // text then, its reading, and the carets and selections it asked.
    quint64 m_readingJob = 0;
    bool m_readingEmbeds = false;
    std::optional<AccessibilityValue> m_own;
    std::optional<EmbeddedObjectReading> m_reading;
    // An element of the reading holds a selection that cannot be told.
    bool m_readingSelectionUnknown = false;
    EmbeddedObjectSelections m_selections;
    // The element's own text read for the job about to read.
    std::optional<std::optional<AccessibilityValue>> m_preread;
};

} // namespace tovalit
