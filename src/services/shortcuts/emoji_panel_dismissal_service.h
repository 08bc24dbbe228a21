#pragma once

#include "support/sleeper.h"

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class EscapeKeySender;
class WindowSystem;

// Closes the system's emoji and input-source panel that a press of the Fn
// key may have opened when it stopped a recording: looks for the panel for
// about a third of a second and, when it shows, presses Escape once.
//
// The panels looked for are the ones a Fn press opens where the key has a
// system action of its own; Linux desktops give the bare Fn key none, so
// there a look finds nothing and the search ends quietly.
class EmojiPanelDismissalService {
public:
    // One window of the on-screen list, as far as the search reads it.
    struct WindowDescription {
        // The name of the application that owns the window.
        std::optional<QString> ownerName;
        std::optional<double> alpha;
        std::optional<qint64> layer;

        bool operator==(const WindowDescription &) const = default;
    };

    // The desktop's windows, synthetic Escape and real time.
    EmojiPanelDismissalService();
    EmojiPanelDismissalService(std::shared_ptr<WindowSystem> windowSystem,
                               std::shared_ptr<EscapeKeySender> escapeKeySender, Sleeper sleeper);

    // Never fails. The service may go away once this has been called.
    QCoro::Task<void> dismissIfNeeded() const;

    // Whether one of `windows` is a visible panel of the system's input
    // menu or input-source switcher.
    static bool hasVisibleEmojiPanel(const QList<WindowDescription> &windows);

    static constexpr double pollInterval = 0.05;
    static constexpr int maximumLooks = 8;

private:
    static QCoro::Task<void> search(std::shared_ptr<WindowSystem> windowSystem,
                                    std::shared_ptr<EscapeKeySender> escapeKeySender,
                                    Sleeper sleeper);
    static QList<WindowDescription> currentWindows(WindowSystem &windowSystem);

    std::shared_ptr<WindowSystem> m_windowSystem;
    std::shared_ptr<EscapeKeySender> m_escapeKeySender;
    Sleeper m_sleeper;
};

} // namespace tovalit
