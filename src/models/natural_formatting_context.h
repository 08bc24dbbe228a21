#pragma once

#include <QString>

#include <optional>

namespace tovalit {

// What the formatter learns about the focused input: the application's
// prompt profile and the texts read around the caret. Built whole, once per
// capture; nobody changes it afterwards.
struct NaturalFormattingContext {
    QString appName;
    QString appBundleID;
    QString brandKey;
    QString appProfileID;
    QString appCategory;
    QString audienceHint;
    QString outputIntent;
    QString styleGuide;
    QString terminologyHints;
    QString templateHints;
    std::optional<QString> screenshotOCR;
    std::optional<QString> selectedText;
    std::optional<QString> surroundingTextBeforeCursor;
    std::optional<QString> surroundingTextAfterCursor;
    std::optional<QString> focusedElementRole;
    std::optional<QString> focusedElementDescription;
    // The caret rectangle, already written as text.
    std::optional<QString> caretRect;
    std::optional<QString> caretAreaOCR;
    std::optional<QString> windowTitle;

    bool operator==(const NaturalFormattingContext &) const = default;
};

} // namespace tovalit
