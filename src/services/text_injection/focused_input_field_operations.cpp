#include "services/text_injection/focused_input_field_operations.h"

#include "platform/accessibility_client.h"
#include "services/text_injection/focused_input_element_search.h"
#include "support/textkit.h"

namespace tovalit {

namespace {

// The selection as UTF-16 offsets into the context's text, when it lies
// inside it and on character boundaries.
std::optional<std::pair<qsizetype, qsizetype>> selectionSpan(const FocusedInputContext &context) {
    const AccessibilityRange &range = context.selectedRange;
    const QString &value = context.currentValue;
    if (range.location < 0 || range.length < 0 || range.location > value.size() ||
        range.length > value.size() - range.location)
        return std::nullopt;
    const qsizetype start = qsizetype(range.location);
    const qsizetype end = start + qsizetype(range.length);
    if (!textkit::isGraphemeBoundary(value, start) || !textkit::isGraphemeBoundary(value, end))
        return std::nullopt;
    return std::pair{start, end};
}

QString replaced(const QString &value, std::pair<qsizetype, qsizetype> span, const QString &text) {
    QString result = value;
    result.replace(span.first, span.second - span.first, text);
    return result;
}

// A field whose whole text before the paste may have been a hint the page
// drew and nothing marked: a browser's editor holding no more than a
// hint's length on one line.
bool heldAtMostAHint(const FocusedInputContext &context) {
    const QString &before = context.currentValue;
    const QStringView line =
        before.endsWith(u'\n') ? QStringView(before).chopped(1) : QStringView(before);
    return line.size() <= FocusedInputFieldOperations::hintLengthLimit && !line.contains(u'\n') &&
           accessibilityValueAs<QString>(context.element->attributeValue(ax::pastesOnly)) ==
               QStringLiteral("true");
}

AccessibilityElementRef focusedElementOf(AccessibilityElement &owner) {
    return accessibilityValueAs<AccessibilityElementRef>(owner.attributeValue(ax::focusedUIElement))
        .value_or(nullptr);
}

} // namespace

QString FocusedInputFieldOperations::expectedValue(const QString &afterInserting,
                                                   const FocusedInputContext &into) {
    const auto span = selectionSpan(into);
    return span ? replaced(into.currentValue, *span, afterInserting) : into.currentValue;
}

bool FocusedInputFieldOperations::sameButForFinalBreak(const QString &shown,
                                                       const QString &expected) {
    if (shown.size() == expected.size())
        return shown == expected;
    const QString &longer = shown.size() > expected.size() ? shown : expected;
    const QString &shorter = shown.size() > expected.size() ? expected : shown;
    return longer.size() == shorter.size() + 1 && longer.endsWith(u'\n') &&
           longer.startsWith(shorter);
}

PostPasteObservationState
FocusedInputFieldOperations::postPasteObservationState(const QString &originalValue,
                                                       const std::optional<QString> &currentValue) {
    using Kind = PostPasteObservationState::Kind;
    if (!currentValue)
        return {Kind::unreadable, {}};
    if (*currentValue == originalValue)
        return {Kind::unchanged, {}};
    return {Kind::changed, *currentValue};
}

bool FocusedInputFieldOperations::setSelectedRange(AccessibilityRange range,
                                                   AccessibilityElement &on) {
    return on.setAttributeValue(ax::selectedTextRange, range);
}

bool FocusedInputFieldOperations::verifyPasteInserted(const QString &text,
                                                      const FocusedInputContext &using_) {
    return pastedValue(text, using_).has_value();
}

namespace {

// A caret after the break the text ended in: the browser drops that break
// once text follows it. The context as it reads with the break gone.
std::optional<FocusedInputContext>
withoutBreakBeforeFinalCaret(const FocusedInputContext &context) {
    const QString &before = context.currentValue;
    if (!before.endsWith(u'\n') || context.selectedRange != AccessibilityRange{before.size(), 0})
        return std::nullopt;
    return FocusedInputContext{context.element, before.chopped(1), {before.size() - 1, 0}};
}

} // namespace

std::optional<QString> FocusedInputFieldOperations::pastedValue(const QString &text,
                                                                const FocusedInputContext &using_) {
    if (auto shown = pastedInto(text, using_))
        return shown;
    if (const auto dropped = withoutBreakBeforeFinalCaret(using_))
        return pastedInto(text, *dropped);
    return std::nullopt;
}

bool FocusedInputFieldOperations::mayShowPaste(const QString &shown, const QString &text,
                                               const FocusedInputContext &into) {
    if (shown == text || sameButForFinalBreak(shown, expectedValue(text, into)))
        return true;
    const auto dropped = withoutBreakBeforeFinalCaret(into);
    return dropped && sameButForFinalBreak(shown, expectedValue(text, *dropped));
}

std::optional<QString> FocusedInputFieldOperations::pastedInto(const QString &text,
                                                               const FocusedInputContext &using_) {
    const QString expected = expectedValue(text, using_);
    const QString value = FocusedInputElementSearch::stringValue(*using_.element);
    const bool asExpected = sameButForFinalBreak(value, expected);
    if (!asExpected && !(value == text && heldAtMostAHint(using_)))
        return std::nullopt;
    const AccessibilityRange selection = FocusedInputElementSearch::selectedRange(*using_.element);
    const qint64 caret =
        asExpected ? using_.selectedRange.location + text.size() : qint64(text.size());
    if (selection.location != caret || selection.length != 0)
        return std::nullopt;
    return value;
}

FocusedInputFieldOperations::SelectionPaste
FocusedInputFieldOperations::pasteOverUnplacedSelection(const QString &text,
                                                        const UnplacedSelectionField &field) {
    SelectionPaste paste;
    paste.value = accessibilityValueAs<QString>(field.element->attributeValue(ax::value));
    const auto caret = accessibilityValueAs<AccessibilityRange>(
        field.element->attributeValue(ax::selectedTextRange));
    if (!paste.value || !caret)
        return paste;
    if (const auto replaced = replacedStretch(field.valueBefore, text, *paste.value, *caret))
        paste.before = FocusedInputContext{field.element, field.valueBefore, *replaced};
    return paste;
}

std::optional<FocusedInputContext>
FocusedInputFieldOperations::pastedBeforeFreshCaret(AccessibilityClient &client, qint32 processID,
                                                    const QString &text) {
    const AccessibilityElementRef focused = focusedElementOf(*client.applicationElement(processID));
    if (!focused)
        return std::nullopt;
    const auto value = accessibilityValueAs<QString>(focused->attributeValue(ax::value));
    const auto caret =
        accessibilityValueAs<AccessibilityRange>(focused->attributeValue(ax::selectedTextRange));
    if (!value || !caret || caret->length != 0 || caret->location > value->size())
        return std::nullopt;
    const qint64 start = caret->location - text.size();
    if (start < 0 || QStringView(*value).mid(start, text.size()) != text)
        return std::nullopt;
    QString before = *value;
    before.remove(start, text.size());
    return FocusedInputContext{focused, std::move(before), AccessibilityRange{start, 0}};
}

std::optional<AccessibilityRange>
FocusedInputFieldOperations::replacedStretch(const QString &before, const QString &text,
                                             const QString &after, AccessibilityRange caret) {
    const qint64 end = caret.location;
    if (caret.length != 0 || end < text.size() || end > after.size() ||
        QStringView(after).mid(end - text.size(), text.size()) != text)
        return std::nullopt;
    const QStringView head = QStringView(after).left(end - text.size());
    const QStringView tail = QStringView(after).mid(end);
    const qint64 replaced = before.size() - head.size() - tail.size();
    if (replaced <= 0 || after == before || !before.startsWith(head) || !before.endsWith(tail))
        return std::nullopt;
    return AccessibilityRange{head.size(), replaced};
}

std::optional<qint32>
FocusedInputFieldOperations::processIdentifier(AccessibilityElement &element) {
    const std::optional<qint32> pid = element.processIdentifier();
    if (!pid || *pid < 1)
        return std::nullopt;
    return pid;
}

std::optional<QString>
FocusedInputFieldOperations::observedStringValue(AccessibilityClient &client,
                                                 AccessibilityElement &of,
                                                 std::optional<qint32> expectedProcessID) {
    if (auto value = accessibilityValueAs<QString>(of.attributeValue(ax::value)))
        return value;
    if (!expectedProcessID)
        return std::nullopt;
    AccessibilityElementRef standIn =
        focusedElementOf(*client.applicationElement(*expectedProcessID));
    if (!standIn)
        standIn = focusedElementOf(*client.systemWideElement());
    if (!standIn || processIdentifier(*standIn) != expectedProcessID)
        return std::nullopt;
    return accessibilityValueAs<QString>(standIn->attributeValue(ax::value));
}

bool FocusedInputFieldOperations::contextStillMatchesOriginalState(
    const FocusedInputContext &context) {
    const QString value = FocusedInputElementSearch::stringValue(*context.element);
    const AccessibilityRange selection = FocusedInputElementSearch::selectedRange(*context.element);
    return value == context.currentValue && selection == context.selectedRange;
}

FocusedInputFieldOperations::DirectWrite
FocusedInputFieldOperations::writeValue(const QString &text, const FocusedInputContext &using_) {
    using Outcome = DirectWrite::Outcome;
    const auto span = selectionSpan(using_);
    if (!span)
        return {};
    if (!using_.element->isAttributeSettable(ax::value)) {
        const bool pastesOnly =
            accessibilityValueAs<QString>(using_.element->attributeValue(ax::pastesOnly)) ==
            QStringLiteral("true");
        return {pastesOnly ? Outcome::pastesOnly : Outcome::notEditable, {}};
    }
    const QString value = replaced(using_.currentValue, *span, text);
    if (!using_.element->setAttributeValue(ax::value, value))
        return {};
    return {Outcome::sent, value};
}

void FocusedInputFieldOperations::placeCaretAfter(const QString &text,
                                                  const FocusedInputContext &context) {
    if (const auto span = selectionSpan(context))
        context.element->setAttributeValue(ax::selectedTextRange,
                                           AccessibilityRange{span->first + text.size(), 0});
}

} // namespace tovalit
