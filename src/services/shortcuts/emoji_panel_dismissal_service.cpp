#include "services/shortcuts/emoji_panel_dismissal_service.h"

#include "platform/escape_key_sender.h"
#include "platform/linux/desktop_entry_index.h"
#include "platform/linux/x11_window_system.h"
#include "platform/linux/xcb_connection.h"
#include "platform/linux/xtest_escape_key_sender.h"
#include "platform/window_system.h"

#include <QHash>

namespace tovalit {

namespace {

bool isSystemInputPanelOwner(const QString &name) {
    return name == u"TextInputMenuAgent" || name == u"TextInputSwitcher";
}

} // namespace

EmojiPanelDismissalService::EmojiPanelDismissalService()
    : EmojiPanelDismissalService(std::make_shared<X11WindowSystem>(
                                     XcbConnection::open(), std::make_shared<DesktopEntryIndex>()),
                                 std::make_shared<XTestEscapeKeySender>(), systemSleeper()) {}

EmojiPanelDismissalService::EmojiPanelDismissalService(
    std::shared_ptr<WindowSystem> windowSystem, std::shared_ptr<EscapeKeySender> escapeKeySender,
    Sleeper sleeper)
    : m_windowSystem(std::move(windowSystem))
    , m_escapeKeySender(std::move(escapeKeySender))
    , m_sleeper(std::move(sleeper)) {}

QCoro::Task<void> EmojiPanelDismissalService::dismissIfNeeded() const {
    return search(m_windowSystem, m_escapeKeySender, m_sleeper);
}

QCoro::Task<void>
EmojiPanelDismissalService::search(std::shared_ptr<WindowSystem> windowSystem,
                                   std::shared_ptr<EscapeKeySender> escapeKeySender,
                                   Sleeper sleeper) {
    // Not cancellable: a cancelled sleep would just let the next look
    // happen sooner.
    const CancelToken token;
    for (int attempt = 0; attempt < maximumLooks; ++attempt) {
        if (attempt > 0)
            co_await sleeper(pollInterval, token);
        if (hasVisibleEmojiPanel(currentWindows(*windowSystem))) {
            escapeKeySender->sendEscapeKey();
            co_return;
        }
    }
}

QList<EmojiPanelDismissalService::WindowDescription>
EmojiPanelDismissalService::currentWindows(WindowSystem &windowSystem) {
    QList<WindowDescription> descriptions;
    QHash<qint32, std::optional<QString>> ownerNames;
    const QList<WindowInfo> windows = windowSystem.onScreenWindows();
    for (const WindowInfo &window : windows) {
        WindowDescription description;
        description.alpha = window.alpha;
        if (window.layer)
            description.layer = *window.layer;
        if (const auto pid = window.ownerProcessIdentifier) {
            if (!ownerNames.contains(*pid)) {
                const auto application = windowSystem.runningApplication(*pid);
                ownerNames.insert(*pid, application ? application->localizedName : std::nullopt);
            }
            description.ownerName = ownerNames.value(*pid);
        }
        descriptions.append(description);
    }
    return descriptions;
}

bool EmojiPanelDismissalService::hasVisibleEmojiPanel(const QList<WindowDescription> &windows) {
    for (const WindowDescription &window : windows) {
        if (!window.ownerName || !isSystemInputPanelOwner(*window.ownerName))
            continue;
        if (window.alpha && !(*window.alpha > 0.01))
            continue;
        if (window.layer && *window.layer < 0)
            continue;
        return true;
    }
    return false;
}

} // namespace tovalit
