#include "services/context/focused_element_reader.h"

#include "platform/accessibility_client.h"
#include "services/context/active_interaction_context_service.h"
#include "services/context/terminal_screen.h"
#include "services/settings/tovalit_debug_logger.h"
#include "support/textkit.h"

#include <QQueue>
#include <QSet>

#include <algorithm>
#include <limits>

namespace tovalit {

namespace {

const QStringList roleAttributes = {ax::roleDescription, ax::role};
const QStringList descriptionAttributes = {ax::description, ax::title, ax::placeholderValue,
                                           ax::help};
const QStringList childAttributes = {
    ax::children, ax::visibleChildren, ax::contents, ax::selectedChildren, ax::rows, ax::columns};
const QStringList roleWords = {QStringLiteral("text"),     QStringLiteral("field"),
                               QStringLiteral("editor"),   QStringLiteral("web"),
                               QStringLiteral("document"), QStringLiteral("code")};

QString pidText(std::optional<qint32> processIdentifier) {
    return processIdentifier ? QString::number(*processIdentifier) : QStringLiteral("<nil>");
}

// [start, end) of a UTF-16 range as offsets of whole characters of `text`;
// nothing when either end falls inside a character or past the text.
std::optional<std::pair<qsizetype, qsizetype>> characterRange(const QString &text,
                                                              AccessibilityRange range) {
    if (range.location < 0 || range.length < 0 || range.location > text.size() ||
        range.length > text.size() - range.location)
        return std::nullopt;
    const qsizetype start = qsizetype(range.location);
    const qsizetype end = qsizetype(range.location + range.length);
    if (!textkit::isGraphemeBoundary(text, start) || !textkit::isGraphemeBoundary(text, end))
        return std::nullopt;
    return std::pair{start, end};
}

QString flag(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// An element a text embeds (a page's paragraph, an image) stands there as
// U+FFFC, which no one reads: a page's text is nothing but those.
std::optional<QString> withoutObjects(std::optional<QString> text) {
    if (text)
        text->remove(QChar(u'\uFFFC'));
    return text;
}

} // namespace

FocusedElementContext
FocusedElementReader::captureFocusedElementContext(AccessibilityClient &client,
                                                   std::optional<qint32> processIdentifier) {
    if (!client.isProcessTrusted())
        return {};
    const QList<AccessibilityElementRef> roots = searchRoots(client, processIdentifier);
    if (roots.isEmpty()) {
        TovalitDebugLogger::log(QStringLiteral("capture.ax"), [processIdentifier]() -> QString {
            return QStringLiteral("focused-element-unavailable | pid=") +
                   pidText(processIdentifier);
        });
        return {};
    }
    // The focused field, when it takes text and reads its caret, is where
    // the dictation goes, even empty: scored, the page or window around it
    // would win on the text it holds. A rich-text editor takes text through
    // its caret alone (Chromium's takes no write of its value).
    // A focused editor that cannot be read now, or whose selection cannot
    // be told, is still the field: what it holds is left absent, and the
    // page around it is never taken for it.
    const AccessibilityElementRef &focus = roots.first();
    const bool focusTakesText = takesText(*focus);
    AccessibilityElementRef element;
    if (focusTakesText || isUnreadableTextField(*focus))
        element = focus;
    else
        element = resolvedTextElement(roots, maxVisited);
    if (!element)
        element = roots.first();

    const std::optional<QString> value = stringValue(*element);
    const std::optional<AccessibilityRange> range = selectedRange(*element);

    std::optional<QString> selected = selectedText(*element, value, range);
    if (!selected && range)
        selected = parameterizedString(*range, *element);

    std::optional<TextSegments> segments;
    if (value)
        segments = surroundingTextSegments(*value, range, contextLength);
    if (!segments && range)
        segments = surroundingTextSegmentsAround(*range, *element, contextLength);
    if (segments)
        segments = withNeighbouringParagraphs(*element, std::move(*segments), contextLength);

    const auto role = firstNonEmptyStringAttribute(roleAttributes, *element);
    if (accessibilityValueAs<QString>(element->attributeValue(ax::role)) ==
        QStringLiteral("terminal"))
        segments = terminalLineSegments(*element, contextLength);
    const auto description = firstNonEmptyStringAttribute(descriptionAttributes, *element);
    const auto caret = range ? boundsForRange(*range, *element) : std::nullopt;

    using Service = ActiveInteractionContextService;
    FocusedElementContext context;
    context.selectedText = Service::normalizeOCRText(withoutObjects(selected), textLimit);
    if (segments) {
        context.surroundingTextBeforeCursor =
            Service::normalizeOCRText(withoutObjects(segments->before), textLimit);
        context.surroundingTextAfterCursor =
            Service::normalizeOCRText(withoutObjects(segments->after), textLimit);
    }
    context.role = Service::normalizeOCRText(role, roleLimit);
    context.description = Service::normalizeOCRText(description, descriptionLimit);
    context.caretRect = caret;
    context.emptyField = focusTakesText && holdsNoText(*element, value);

    // The summaries read dozens of attributes, and only this thread may
    // read them: build them here, and only when someone will see them.
    if (!context.hasRichLocalTextContext() && !context.caretRect &&
        TovalitDebugLogger::isEnabled()) {
        const QString summary = searchRootsDebugSummary(roots);
        TovalitDebugLogger::log(
            QStringLiteral("capture.ax"), [processIdentifier, summary]() -> QString {
                return QStringLiteral("no-text-context | pid=") + pidText(processIdentifier) +
                       QStringLiteral(" | roots=") + summary;
            });
    }
    return context;
}

QList<AccessibilityElementRef>
FocusedElementReader::searchRoots(AccessibilityClient &client,
                                  std::optional<qint32> processIdentifier) {
    QList<AccessibilityElementRef> roots;
    QSet<QString> seen;
    const auto add = [&roots, &seen](const AccessibilityElementRef &owner,
                                     const QString &attribute) {
        auto element =
            accessibilityValueAs<AccessibilityElementRef>(owner->attributeValue(attribute));
        if (!element || !*element)
            return;
        const QString identity = (*element)->identity();
        if (seen.contains(identity))
            return;
        seen.insert(identity);
        roots.append(*element);
    };
    if (processIdentifier) {
        const AccessibilityElementRef application = client.applicationElement(*processIdentifier);
        add(application, ax::focusedUIElement);
        add(application, ax::focusedWindow);
    }
    const AccessibilityElementRef systemWide = client.systemWideElement();
    add(systemWide, ax::focusedUIElement);
    add(systemWide, ax::focusedWindow);
    return roots;
}

AccessibilityElementRef
FocusedElementReader::resolvedTextElement(const QList<AccessibilityElementRef> &roots,
                                          int maxVisited) {
    return bestScoredElement(roots, maxVisited, &textCandidateScore, earlyAcceptScore,
                             minimumScore);
}

AccessibilityElementRef
FocusedElementReader::bestScoredElement(const QList<AccessibilityElementRef> &roots, int maxVisited,
                                        CandidateScore score, int acceptAtOnce, int minimum) {
    if (roots.isEmpty() || maxVisited < 1)
        return nullptr;
    QQueue<std::pair<AccessibilityElementRef, int>> queue;
    for (const AccessibilityElementRef &root : roots)
        queue.enqueue({root, 0});
    QSet<QString> visited;
    AccessibilityElementRef best;
    int bestScore = 0;
    while (!queue.isEmpty() && visited.size() < maxVisited) {
        const auto [element, depth] = queue.dequeue();
        const QString identity = element->identity();
        if (visited.contains(identity))
            continue;
        visited.insert(identity);
        const int elementScore = score(*element, depth);
        if (!best || elementScore > bestScore) {
            best = element;
            bestScore = elementScore;
        }
        if (elementScore >= acceptAtOnce)
            return element;
        for (const AccessibilityElementRef &related : relatedElements(*element)) {
            if (!visited.contains(related->identity()))
                queue.enqueue({related, depth + 1});
        }
    }
    return best && bestScore >= minimum ? best : nullptr;
}

int FocusedElementReader::textCandidateScore(AccessibilityElement &element, int depth) {
    const QString role =
        firstNonEmptyStringAttribute(roleAttributes, element).value_or(QString()).toLower();
    const std::optional<QString> value = stringValue(element);
    const std::optional<AccessibilityRange> range = selectedRange(element);
    std::optional<QString> selected;
    std::optional<TextSegments> segments;
    std::optional<QRectF> bounds;
    if (range) {
        selected = selectedText(element, value, range);
        segments = surroundingTextSegmentsAround(*range, element, contextLength);
        bounds = boundsForRange(*range, element);
    } else {
        selected = selectedText(element, value, std::nullopt);
    }
    int score = 0;
    if (value && !textkit::isBlank(*value))
        score += 30;
    if (range)
        score += 40;
    if (selected && !textkit::isBlank(*selected))
        score += 20;
    if (segments)
        score += 18;
    if (bounds)
        score += 12;
    for (const QString &word : roleWords) {
        if (role.contains(word)) {
            score += 10;
            break;
        }
    }
    return score - 2 * depth;
}

FocusedElementReader::TextSegments
FocusedElementReader::withNeighbouringParagraphs(AccessibilityElement &element,
                                                 TextSegments segments, int contextLength) {
    // A word processor shows each paragraph as an element of its own below
    // the document, the one with the caret focused: the paragraphs beside
    // it are the text around the caret as much as its own. Only those the
    // reach needs are read, never the whole document.
    if (stringAttribute(ax::role, element) != QLatin1String("paragraph"))
        return segments;
    const AccessibilityElementRef document = parent(element);
    if (!document || !stringAttribute(ax::role, *document)
                          .value_or(QString())
                          .contains(QLatin1String("document")))
        return segments;
    const QList<AccessibilityElementRef> paragraphs =
        elementArrayAttribute(ax::children, *document);
    const QString identity = element.identity();
    const auto own = std::find_if(paragraphs.cbegin(), paragraphs.cend(),
                                  [&identity](const AccessibilityElementRef &paragraph) {
                                      return paragraph->identity() == identity;
                                  });
    if (own == paragraphs.cend())
        return segments;
    const qsizetype index = own - paragraphs.cbegin();
    for (qsizetype before = index - 1;
         before >= 0 && textkit::graphemeCount(segments.before) < contextLength; --before)
        segments.before = stringValue(*paragraphs[before]).value_or(QString()) + QLatin1Char('\n') +
                          segments.before;
    for (qsizetype after = index + 1;
         after < paragraphs.size() && textkit::graphemeCount(segments.after) < contextLength;
         ++after)
        segments.after += QLatin1Char('\n') + stringValue(*paragraphs[after]).value_or(QString());
    segments.before = textkit::graphemeSuffix(segments.before, contextLength);
    segments.after = textkit::graphemePrefix(segments.after, contextLength);
    return segments;
}

bool FocusedElementReader::takesText(AccessibilityElement &element) {
    return stringValue(element) && (selectedRange(element) || holdsUntoldSelection(element)) &&
           (element.isAttributeSettable(ax::value) ||
            element.isAttributeSettable(ax::selectedTextRange));
}

bool FocusedElementReader::holdsNoText(AccessibilityElement &element,
                                       const std::optional<QString> &value) {
    if (!value || !value->isEmpty())
        return false;
    // A browser may answer an empty text before the page has sent it; the
    // count it gives is the page's own.
    const auto count =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::characterCount));
    return !count || count->length == 0;
}

bool FocusedElementReader::isUnreadableTextField(AccessibilityElement &element) {
    return !stringValue(element) &&
           accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::caret));
}

bool FocusedElementReader::holdsUntoldSelection(AccessibilityElement &element) {
    const auto count =
        accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectionCount));
    return count && count->length > 0 && !selectedRange(element);
}

std::optional<QString> FocusedElementReader::stringValue(AccessibilityElement &element) {
    return accessibilityValueAs<QString>(element.attributeValue(ax::value));
}

std::optional<AccessibilityRange>
FocusedElementReader::selectedRange(AccessibilityElement &element) {
    return accessibilityValueAs<AccessibilityRange>(element.attributeValue(ax::selectedTextRange));
}

std::optional<QString> FocusedElementReader::stringAttribute(const QString &attribute,
                                                             AccessibilityElement &element) {
    const auto text = accessibilityValueAs<QString>(element.attributeValue(attribute));
    if (!text)
        return std::nullopt;
    QString trimmed = textkit::trimmed(*text);
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

std::optional<QString>
FocusedElementReader::firstNonEmptyStringAttribute(const QStringList &attributes,
                                                   AccessibilityElement &element) {
    for (const QString &attribute : attributes) {
        if (auto text = stringAttribute(attribute, element))
            return text;
    }
    return std::nullopt;
}

std::optional<QString>
FocusedElementReader::selectedText(AccessibilityElement &element,
                                   const std::optional<QString> &currentValue,
                                   std::optional<AccessibilityRange> selectedRange) {
    if (auto selected = stringAttribute(ax::selectedText, element))
        return selected;
    if (!currentValue || !selectedRange || selectedRange->length < 1)
        return std::nullopt;
    const auto characters = characterRange(*currentValue, *selectedRange);
    if (!characters)
        return std::nullopt;
    return currentValue->mid(characters->first, characters->second - characters->first);
}

std::optional<QString> FocusedElementReader::parameterizedString(AccessibilityRange range,
                                                                 AccessibilityElement &element) {
    if (range.location < 0 || range.length < 0)
        return std::nullopt;
    const auto text = accessibilityValueAs<QString>(
        element.parameterizedAttributeValue(ax::stringForRange, AccessibilityValue(range)));
    if (!text || textkit::isBlank(*text))
        return std::nullopt;
    return text;
}

std::optional<FocusedElementReader::TextSegments>
FocusedElementReader::terminalLineSegments(AccessibilityElement &element, int contextLength) {
    const std::optional<TerminalScreen> screen = TerminalScreen::read(element);
    if (!screen)
        return std::nullopt;
    return TextSegments{textkit::graphemeSuffix(screen->line, contextLength), QString()};
}

std::optional<FocusedElementReader::TextSegments> FocusedElementReader::surroundingTextSegments(
    const QString &text, std::optional<AccessibilityRange> range, int contextLength) {
    if (!range)
        return std::nullopt;
    AccessibilityRange clamped{qMax<qint64>(range->location, 0), qMax<qint64>(range->length, 0)};
    const auto characters = characterRange(text, clamped);
    if (!characters)
        return std::nullopt;
    const QStringView view(text);
    return TextSegments{textkit::graphemeSuffix(view.left(characters->first), contextLength),
                        textkit::graphemePrefix(view.mid(characters->second), contextLength)};
}

std::optional<FocusedElementReader::TextSegments>
FocusedElementReader::surroundingTextSegmentsAround(AccessibilityRange range,
                                                    AccessibilityElement &element,
                                                    int contextLength) {
    const qint64 n = std::clamp<qint64>(range.location, 0, contextLength);
    const QString before =
        parameterizedString({range.location - n, n}, element).value_or(QString());
    // An end that does not fit a signed 64-bit offset has nothing after it.
    QString after;
    if (range.length >= 0 && range.location <= std::numeric_limits<qint64>::max() - range.length)
        after = parameterizedString({range.location + range.length, contextLength}, element)
                    .value_or(QString());
    if (before.isEmpty() && after.isEmpty())
        return std::nullopt;
    return TextSegments{before, after};
}

std::optional<QRectF> FocusedElementReader::boundsForRange(AccessibilityRange range,
                                                           AccessibilityElement &element) {
    const AccessibilityRange request{range.location, qMax<qint64>(range.length, 0)};
    const auto rect = accessibilityValueAs<QRectF>(
        element.parameterizedAttributeValue(ax::boundsForRange, AccessibilityValue(request)));
    if (!rect || rect->width() <= 0 || rect->height() <= 0)
        return std::nullopt;
    return rect;
}

AccessibilityElementRef FocusedElementReader::parent(AccessibilityElement &element) {
    return accessibilityValueAs<AccessibilityElementRef>(element.attributeValue(ax::parent))
        .value_or(nullptr);
}

QList<AccessibilityElementRef>
FocusedElementReader::elementArrayAttribute(const QString &attribute,
                                            AccessibilityElement &element) {
    QList<AccessibilityElementRef> result;
    const auto list =
        accessibilityValueAs<QList<AccessibilityElementRef>>(element.attributeValue(attribute));
    if (!list)
        return result;
    for (const AccessibilityElementRef &item : *list) {
        if (item)
            result.append(item);
    }
    return result;
}

QList<AccessibilityElementRef> FocusedElementReader::childElements(AccessibilityElement &element) {
    QList<AccessibilityElementRef> children;
    for (const QString &attribute : childAttributes)
        children.append(elementArrayAttribute(attribute, element));
    return children;
}

QList<AccessibilityElementRef>
FocusedElementReader::relatedElements(AccessibilityElement &element) {
    QList<AccessibilityElementRef> related;
    if (AccessibilityElementRef up = parent(element))
        related.append(up);
    related.append(childElements(element));
    return related;
}

QStringList FocusedElementReader::attributeNames(AccessibilityElement &element) {
    QStringList names = element.attributeNames();
    names.sort();
    return names;
}

QString FocusedElementReader::elementDebugSummary(AccessibilityElement &element) {
    const QString role =
        firstNonEmptyStringAttribute(roleAttributes, element).value_or(QStringLiteral("<nil>"));
    const QString description = firstNonEmptyStringAttribute(descriptionAttributes, element)
                                    .value_or(QStringLiteral("<nil>"));
    return QStringLiteral("role=") + role + QStringLiteral(" desc=") + description +
           QStringLiteral(" hasValue=") + flag(stringValue(element).has_value()) +
           QStringLiteral(" hasRange=") + flag(selectedRange(element).has_value()) +
           QStringLiteral(" attrs=[") + attributeNames(element).mid(0, 8).join(QLatin1Char(',')) +
           QLatin1Char(']');
}

QString FocusedElementReader::graphDebugSnapshot(AccessibilityElement &element) {
    QStringList neighbours;
    const QList<AccessibilityElementRef> related = relatedElements(element);
    for (qsizetype index = 0; index < related.size() && index < 6; ++index)
        neighbours << QStringLiteral("n%1:").arg(index) + elementDebugSummary(*related[index]);
    return QStringLiteral("root{") + elementDebugSummary(element) + QStringLiteral("} neighbors{") +
           neighbours.join(QStringLiteral(" | ")) + QLatin1Char('}');
}

QString FocusedElementReader::searchRootsDebugSummary(const QList<AccessibilityElementRef> &roots) {
    QStringList parts;
    for (qsizetype index = 0; index < roots.size() && index < 4; ++index)
        parts << QStringLiteral("r%1:").arg(index) + graphDebugSnapshot(*roots[index]);
    return parts.join(QStringLiteral(" || "));
}

} // namespace tovalit
