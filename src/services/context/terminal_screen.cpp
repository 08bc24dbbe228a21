#include "services/context/terminal_screen.h"

#include "platform/accessibility_element.h"

namespace tovalit {

namespace {

std::optional<qint64> cursorOffset(AccessibilityElement &screen) {
    auto caret = accessibilityValueAs<AccessibilityRange>(screen.attributeValue(ax::caret));
    if (!caret)
        caret =
            accessibilityValueAs<AccessibilityRange>(screen.attributeValue(ax::selectedTextRange));
    if (!caret || caret->location < 0)
        return std::nullopt;
    return caret->location;
}

std::optional<QString> cellsText(AccessibilityElement &screen, qint64 from, qint64 to) {
    return accessibilityValueAs<QString>(screen.parameterizedAttributeValue(
        ax::stringForRange, AccessibilityRange{from, to - from}));
}

// The cursor stands `cursor` cells into the screen: its row starts at the
// last whole multiple of the row's width.
std::optional<TerminalScreen> readInCells(AccessibilityElement &screen, const QString &text,
                                          qint64 cursor, qint64 columns) {
    const qint64 rowStart = cursor - cursor % columns;
    const std::optional<QString> before = cellsText(screen, 0, cursor);
    const std::optional<QString> line = cellsText(screen, rowStart, cursor);
    if (!before || !line)
        return std::nullopt;
    return TerminalScreen{text, *before, *line};
}

} // namespace

std::optional<TerminalScreen> TerminalScreen::read(AccessibilityElement &screen) {
    const auto text = accessibilityValueAs<QString>(screen.attributeValue(ax::value));
    const std::optional<qint64> cursor = cursorOffset(screen);
    if (!text || !cursor)
        return std::nullopt;
    const auto columns =
        accessibilityValueAs<AccessibilityRange>(screen.attributeValue(ax::screenColumns));
    if (columns && columns->length > 0)
        return readInCells(screen, *text, *cursor, columns->length);
    return withCursorAfter(text->left(*cursor), text->mid(*cursor));
}

TerminalScreen TerminalScreen::withCursorAfter(const QString &beforeCursor, const QString &after) {
    return TerminalScreen{beforeCursor + after, beforeCursor, lastLine(beforeCursor)};
}

QString TerminalScreen::lastLine(const QString &text) {
    return text.mid(text.lastIndexOf(u'\n') + 1);
}

} // namespace tovalit
