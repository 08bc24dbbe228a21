#pragma once

#include "models/active_interaction_context.h"
#include "platform/display_session.h"
#include "services/context/accessibility_focus.h"
#include "services/context/focused_element_context.h"
#include "support/sleeper.h"

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class AccessibilityClient;
class ScreenTextCapture;
class WindowSystem;

// Takes a snapshot of where the user is typing when a dictation starts
// (the frontmost application, the text around its caret, the screen text
// near the caret, the application's prompt profile) and brings that
// application back to the front before the text is delivered.
//
// In a Wayland session the X server knows only XWayland windows: when the
// focus sits in a native window, the application, its window title and
// its field come from the accessibility bus alone.
//
// Used from the GUI thread. The accessibility reads run on the
// accessibility thread and the screen text recognition on a worker, so the
// interface stays responsive; a capture that started earlier may finish
// after one that started later, and the caller decides which one it keeps.
class ActiveInteractionContextService {
public:
    ActiveInteractionContextService(std::shared_ptr<AccessibilityClient> accessibility,
                                    std::shared_ptr<WindowSystem> windowSystem,
                                    std::shared_ptr<ScreenTextCapture> screenText,
                                    Sleeper sleeper = systemSleeper(),
                                    DisplaySession displaySession = {});
    ~ActiveInteractionContextService();

    // Nothing only when no application is frontmost. Never throws.
    QCoro::Task<std::optional<ActiveInteractionContext>> captureCurrentContext();
    // Brings the context's application to the front unless it already is,
    // then gives the switch, when one was asked for, a moment to take
    // effect. Never throws.
    QCoro::Task<void> activate(std::optional<ActiveInteractionContext> context);

    // Text read from other applications made fit for the formatter: each
    // line trimmed with inner white space runs collapsed, blank lines
    // dropped, cut to `limit` characters.
    static std::optional<QString> normalizeOCRText(const std::optional<QString> &text, int limit);

    static NaturalFormattingContext makeNaturalFormattingContext(
        const QString &appName, const QString &bundleID,
        const std::optional<QString> &screenshotOCR, const std::optional<QString> &selectedText,
        const std::optional<QString> &surroundingTextBeforeCursor,
        const std::optional<QString> &surroundingTextAfterCursor,
        const std::optional<QString> &focusedElementRole,
        const std::optional<QString> &focusedElementDescription,
        const std::optional<QString> &caretRect, const std::optional<QString> &caretAreaOCR,
        const std::optional<QString> &windowTitle);

    static QString normalizedAppName(const std::optional<QString> &name);
    static QString normalizedBundleID(const std::optional<QString> &bundleID,
                                      const QString &fallbackAppName);

    static constexpr int maxAttempts = 4;
    static constexpr double retryDelay = 0.04;
    static constexpr double activationSettlePause = 0.12;
    static constexpr int logPreviewLimit = 120;

private:
    QCoro::Task<FocusedElementContext>
    captureFocusedElementContextWithRetries(qint32 processIdentifier, int maxAttempts,
                                            double retryDelay);
    QCoro::Task<FocusedElementContext> readFocusedElement(qint32 processIdentifier);
    QCoro::Task<std::optional<AccessibilityFocus>> readAccessibilityFocus();

    std::shared_ptr<AccessibilityClient> m_accessibility;
    std::shared_ptr<WindowSystem> m_windowSystem;
    std::shared_ptr<ScreenTextCapture> m_screenText;
    Sleeper m_sleeper;
    DisplaySession m_displaySession;
};

} // namespace tovalit
