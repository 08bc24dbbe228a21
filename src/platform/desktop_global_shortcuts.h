#pragma once

#include "support/app_error.h"

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>

namespace tovalit {

// Why the desktop's global shortcuts could not be had; the text is for the
// diagnostics log.
class DesktopGlobalShortcutsError : public AppError {
public:
    enum class Kind {
        // The desktop offers no global-shortcuts service.
        unavailable,
        // The service did not answer in time.
        noAnswer,
        // The user turned the desktop's request down.
        cancelled,
        // The desktop refused for another reason, or the session is gone.
        refused,
    };
    DesktopGlobalShortcutsError(Kind kind, QString detail = {});
    Kind kind() const { return m_kind; }
    // What failed, in the portal's words (the call, or its D-Bus error).
    const QString &detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

// One shortcut as we ask the desktop for it.
struct DesktopShortcutRequest {
    QString id;
    // What the desktop lists beside the keys in its keyboard settings.
    QString description;
    // The keys we would like, in the desktop portal's shortcut notation
    // ("CTRL+ALT+k"); empty for none. The desktop may bind
    // other keys, or none until the user picks some.
    QString preferredTrigger;

    bool operator==(const DesktopShortcutRequest &) const = default;
};

// One shortcut as the desktop holds it for us.
struct DesktopShortcut {
    QString id;
    QString description;
    // The desktop's own words for the keys that fire it ("Ctrl+Alt+K");
    // empty while no keys are bound.
    QString triggerDescription;

    bool operator==(const DesktopShortcut &) const = default;
};

// Global shortcuts that the desktop owns and reports to us, the way Wayland
// desktops offer them: we never see the keys, only which of our shortcuts
// fired. Shortcuts live in a session; several may be open, each named by
// the identifier createSession() returns. GUI thread only.
class DesktopGlobalShortcuts {
public:
    struct Event {
        enum class Kind {
            // A shortcut's keys went down or up.
            activated,
            deactivated,
            // The user (or the desktop) bound other keys; `shortcuts` is
            // the whole new list.
            shortcutsChanged,
            // The desktop ended the session; nothing of it fires any more.
            sessionClosed,
            // The desktop's service went away (its process ended, or
            // another took its place): every session ended with it, and
            // nothing was said on the way. `session` is empty.
            serviceLost,
            // A desktop service is there again (or for the first time):
            // sessions can be opened. `session` is empty.
            serviceAvailable,
        };
        Kind kind = Kind::activated;
        QString session;
        QString shortcutId;
        QList<DesktopShortcut> shortcuts;
    };
    using EventHandler = std::function<void(const Event &event)>;

    virtual ~DesktopGlobalShortcuts() = default;

    // Starts delivering the events of every session to `handler`, replacing
    // any earlier one; events arrive on the GUI thread.
    virtual void installHandler(EventHandler handler) = 0;
    // Stops delivering; harmless when nothing is installed.
    virtual void removeHandler() = 0;

    // Opens a session and answers its identifier. Throws
    // DesktopGlobalShortcutsError (unavailable when the desktop offers no
    // such service, noAnswer when it does not answer in time).
    virtual QCoro::Task<QString> createSession() = 0;
    // Asks the desktop for `shortcuts` in `session` and answers what it
    // holds for us afterwards. The desktop may ask the user first, so the
    // answer takes as long as the user does; closing the session ends the
    // wait (refused). Throws DesktopGlobalShortcutsError.
    virtual QCoro::Task<QList<DesktopShortcut>>
    bindShortcuts(QString session, QList<DesktopShortcutRequest> shortcuts) = 0;
    // What the desktop holds for us in `session`. Throws
    // DesktopGlobalShortcutsError.
    virtual QCoro::Task<QList<DesktopShortcut>> listShortcuts(QString session) = 0;
    // Ends `session`: its shortcuts stop firing and a wait on it ends.
    // Harmless for a session that is already gone.
    virtual void closeSession(QString session) = 0;
};

} // namespace tovalit
