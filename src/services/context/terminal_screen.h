#pragma once

#include <QString>

#include <optional>

namespace tovalit {

class AccessibilityElement;

// A terminal's screen as its accessible text shows it, and what stands
// before its cursor. Konsole counts its offsets in the screen's cells (a
// wide character takes two, a row as many as the screen is wide) and
// leaves out the break after a row that ends in a wide character: there
// the cursor is found by its row and column on the screen, and what
// precedes it is read in cells, never cut out of the text by an offset
// that counts something else.
struct TerminalScreen {
    // The whole screen.
    QString text;
    // All the screen shows before the cursor.
    QString beforeCursor;
    // The cursor's line up to the cursor: the program's own text there (a
    // shell's command line, an editor's line), the screen above it being
    // output.
    QString line;

    // Nothing when the screen or its cursor cannot be read. Runs where
    // the element may be read.
    static std::optional<TerminalScreen> read(AccessibilityElement &screen);
    // The screen whose text `beforeCursor` and `after` make, its cursor
    // between them.
    static TerminalScreen withCursorAfter(const QString &beforeCursor, const QString &after = {});
    // The text after the last line break.
    static QString lastLine(const QString &text);
};

} // namespace tovalit
