#pragma once

#include <QString>

namespace tovalit {

// The key combination a program pastes on. Most take Ctrl+V; a terminal
// gives Ctrl+V to the program running in it and pastes on Ctrl+Shift+V,
// and the oldest X terminals paste the PRIMARY selection on Shift+Insert.
enum class PasteKeys { controlV, controlShiftV, shiftInsert };

// "Ctrl+V", "Ctrl+Shift+V", "Shift+Insert": as the user presses them.
inline QString pasteKeysText(PasteKeys keys) {
    switch (keys) {
    case PasteKeys::controlV:
        return QStringLiteral("Ctrl+V");
    case PasteKeys::controlShiftV:
        return QStringLiteral("Ctrl+Shift+V");
    case PasteKeys::shiftInsert:
        return QStringLiteral("Shift+Insert");
    }
    return {};
}

} // namespace tovalit
