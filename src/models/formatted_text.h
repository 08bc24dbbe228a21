#pragma once

#include <QString>

#include <optional>

namespace tovalit {

// A formatted text and the note on how it was made: what the dictation's
// formatting and the meeting's minutes both hand to the stop.
struct FormattedText {
    QString text;
    std::optional<QString> note;
};

} // namespace tovalit
