#include "services/text_injection/focused_input_element_search.h"

#include "platform/accessibility_client.h"
#include "services/context/focused_element_reader.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/text_injection/focused_input_insertion_error.h"

#include <QQueue>
#include <QSet>

namespace tovalit {

namespace {

const QStringList roleWords = {QStringLiteral("text"),     QStringLiteral("field"),
                               QStringLiteral("editor"),   QStringLiteral("web"),
                               QStringLiteral("document"), QStringLiteral("code")};
const QStringList descriptionAttributes = {ax::description, ax::title, ax::placeholderValue};

[[noreturn]] void unavailable() {
    throw FocusedInputInsertionError(FocusedInputInsertionError::Kind::focusedElementUnavailable);
}

std::optional<QString> firstStringAttribute(const QStringList &attributes,
                                            AccessibilityElement &element) {
    for (const QString &attribute : attributes) {
        if (auto text = FocusedElementReader::stringAttribute(attribute, element))
            return text;
    }
    return std::nullopt;
}

std::optional<QString> roleText(AccessibilityElement &element) {
    return firstStringAttribute({ax::roleDescription, ax::role}, element);
}

bool hasStringValue(AccessibilityElement &element) {
    return accessibilityValueAs<QString>(element.attributeValue(ax::value)).has_value();
}

bool hasSelectedRange(AccessibilityElement &element) {
    return accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange))
        .has_value();
}

bool hasSelectedText(AccessibilityElement &element) {
    return FocusedElementReader::stringAttribute(ax::selectedText, element).has_value();
}

QString flag(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString pidText(std::optional<qint32> processIdentifier) {
    return processIdentifier ? QString::number(*processIdentifier) : QStringLiteral("<nil>");
}

} // namespace

FocusedInputContext
FocusedInputElementSearch::focusedInputContext(AccessibilityClient &client,
                                               std::optional<qint32> expectedProcessID) {
    AccessibilityElementRef element = focusedElement(client, expectedProcessID);
    QString value = stringValue(*element);
    const AccessibilityRange range = selectedRange(*element);
    return FocusedInputContext{std::move(element), std::move(value), range};
}

AccessibilityElementRef
FocusedInputElementSearch::focusedElement(AccessibilityClient &client,
                                          std::optional<qint32> expectedProcessID) {
    // The search takes its first root at once when it scores that high, and
    // that root is the application's own focus: the other roots are not
    // looked for then. The desktop's focus alone takes a look through every
    // application's windows, each a round trip to a process that may be
    // busy drawing.
    //
    // A focused field that holds text and takes it is the field even when
    // its caret does not read (Firefox's empty text area may not say where
    // it is): what lies around it is the page or window it sits in, never
    // a better place for the text. An attempt that cannot read it then
    // fails at once instead of searching the page.
    if (expectedProcessID) {
        const auto focused = accessibilityValueAs<AccessibilityElementRef>(
            client.applicationElement(*expectedProcessID)->attributeValue(ax::focusedUIElement));
        if (focused && *focused &&
            (editableCandidateScore(**focused, 0) >= earlyAcceptScore ||
             (hasStringValue(**focused) && (*focused)->isAttributeSettable(ax::value))))
            return *focused;
        // An editor that cannot be read now, or cannot tell what is
        // selected in it, is no reason to write into the page around it,
        // whose text never changes: the paste goes out with no field to
        // check.
        if (focused && *focused &&
            (FocusedElementReader::isUnreadableTextField(**focused) ||
             FocusedElementReader::holdsUntoldSelection(**focused)))
            unavailable();
    }
    AccessibilityElementRef element = resolvedEditableElement(
        FocusedElementReader::searchRoots(client, expectedProcessID), maxVisited);
    if (!element)
        unavailable();
    return element;
}

std::optional<UnplacedSelectionField>
FocusedInputElementSearch::unplacedSelectionField(AccessibilityClient &client, qint32 processID) {
    const auto focused = accessibilityValueAs<AccessibilityElementRef>(
        client.applicationElement(processID)->attributeValue(ax::focusedUIElement));
    if (!focused || !*focused || !FocusedElementReader::holdsUntoldSelection(**focused))
        return std::nullopt;
    auto value = accessibilityValueAs<QString>((*focused)->attributeValue(ax::value));
    if (!value)
        return std::nullopt;
    return UnplacedSelectionField{*focused, std::move(*value)};
}

AccessibilityElementRef
FocusedInputElementSearch::resolvedEditableElement(const QList<AccessibilityElementRef> &roots,
                                                   int maxVisited) {
    return FocusedElementReader::bestScoredElement(roots, maxVisited, &editableCandidateScore,
                                                   earlyAcceptScore, minimumScore);
}

int FocusedInputElementSearch::editableCandidateScore(AccessibilityElement &element, int depth) {
    const bool value = hasStringValue(element);
    const bool range = hasSelectedRange(element);
    int score = 0;
    if (value && range)
        score = 75;
    else if (value)
        score = 35;
    else if (range)
        score = 40;
    if (hasSelectedText(element))
        score += 15;
    const QString role = roleText(element).value_or(QString()).toLower();
    for (const QString &word : roleWords) {
        if (role.contains(word)) {
            score += 10;
            break;
        }
    }
    return score - 2 * depth;
}

QString FocusedInputElementSearch::stringValue(AccessibilityElement &element) {
    auto value = accessibilityValueAs<QString>(element.attributeValue(ax::value));
    if (!value)
        unavailable();
    return *value;
}

AccessibilityRange FocusedInputElementSearch::selectedRange(AccessibilityElement &element) {
    auto range =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
    if (!range)
        unavailable();
    return *range;
}

void FocusedInputElementSearch::logSearchFailure(AccessibilityClient &client,
                                                 std::optional<qint32> expectedProcessID) {
    if (!TovalitDebugLogger::isEnabled())
        return;
    const QList<AccessibilityElementRef> roots =
        FocusedElementReader::searchRoots(client, expectedProcessID);
    if (roots.isEmpty()) {
        TovalitDebugLogger::log(QStringLiteral("insert.ax"),
                                QStringLiteral("focused-element-unavailable | pid=") +
                                    pidText(expectedProcessID));
        return;
    }
    TovalitDebugLogger::log(QStringLiteral("insert.ax"),
                            QStringLiteral("no-editable-context | pid=") +
                                pidText(expectedProcessID) + QStringLiteral(" | roots=") +
                                searchRootsDebugSummary(roots));
}

QString FocusedInputElementSearch::elementDebugSummary(AccessibilityElement &element) {
    return QStringLiteral("role=") + roleText(element).value_or(QStringLiteral("<nil>")) +
           QStringLiteral(" desc=") +
           firstStringAttribute(descriptionAttributes, element).value_or(QStringLiteral("<nil>")) +
           QStringLiteral(" hasValue=") + flag(hasStringValue(element)) +
           QStringLiteral(" hasRange=") + flag(hasSelectedRange(element)) +
           QStringLiteral(" hasSelectedText=") + flag(hasSelectedText(element)) +
           QStringLiteral(" attrs=[") +
           FocusedElementReader::attributeNames(element).mid(0, 8).join(QLatin1Char(',')) +
           QLatin1Char(']');
}

QString FocusedInputElementSearch::graphDebugSnapshot(AccessibilityElement &element) {
    QStringList neighbours;
    const QList<AccessibilityElementRef> related = FocusedElementReader::relatedElements(element);
    for (qsizetype index = 0; index < related.size() && index < 6; ++index)
        neighbours << QStringLiteral("n%1:").arg(index) + elementDebugSummary(*related[index]);
    return QStringLiteral("root{") + elementDebugSummary(element) + QStringLiteral("} neighbors{") +
           neighbours.join(QStringLiteral(" | ")) + QLatin1Char('}');
}

QString
FocusedInputElementSearch::searchRootsDebugSummary(const QList<AccessibilityElementRef> &roots) {
    QStringList parts;
    for (qsizetype index = 0; index < roots.size() && index < 4; ++index)
        parts << QStringLiteral("r%1:").arg(index) + graphDebugSnapshot(*roots[index]);
    return parts.join(QStringLiteral(" || "));
}

} // namespace tovalit
