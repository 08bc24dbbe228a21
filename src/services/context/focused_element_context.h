#pragma once

#include <QRectF>
#include <QString>

#include <optional>

namespace tovalit {

// One read of the focused text element: the texts around its caret
// (normalised), what kind of element it is, and where its caret is on
// screen. Whatever could not be read is absent.
struct FocusedElementContext {
    std::optional<QString> selectedText;
    std::optional<QString> surroundingTextBeforeCursor;
    std::optional<QString> surroundingTextAfterCursor;
    std::optional<QString> role;
    std::optional<QString> description;
    // Global screen coordinates, origin at the top left, y downwards.
    std::optional<QRectF> caretRect;
    // The focused element takes text and holds none: it has told all there
    // is, with or without a caret rectangle (Qt gives an empty field none).
    bool emptyField = false;

    // Some non-blank text near the caret: selected, before or after.
    bool hasRichLocalTextContext() const;

    bool operator==(const FocusedElementContext &) const = default;
};

// What the screen shows of the frontmost window around the caret.
struct ScreenCaptureArtifacts {
    std::optional<QString> screenshotOCR;
    std::optional<QString> caretAreaOCR;
    std::optional<QString> caretRectDescription;
    std::optional<QString> windowTitle;

    bool operator==(const ScreenCaptureArtifacts &) const = default;
};

} // namespace tovalit
