#pragma once

#include "platform/linux/xdg_portal_shortcut.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>

namespace tovalit::testing {

// The desktop portal's GlobalShortcuts interface (version 1) as a test
// scripts it, served on a connection of the test's (normally to a private
// bus): it answers CreateSession, BindShortcuts and ListShortcuts through
// request objects and Response signals the way the portal does, and sends
// the shortcut signals the test asks for. Lives on the test's thread.
class GlobalShortcutsPortalStandIn final : public QDBusVirtualObject {
public:
    explicit GlobalShortcutsPortalStandIn(QDBusConnection connection);
    ~GlobalShortcutsPortalStandIn() override;

    // Takes the portal's name and object; false when the bus refused.
    bool start();
    // The portal's process ends: its name and object go, and its sessions
    // with them, without a word to anyone. start() brings it back, with
    // no sessions.
    void stop();

    // What the desktop binds every shortcut it is asked for to: by default
    // the preferred trigger in the desktop's own words ("CTRL+ALT+k" gives
    // "Ctrl+Alt+K"); an empty text binds nothing.
    void bindAs(std::optional<QString> triggerDescription);
    // The Response code of BindShortcuts: 0 bound, 1 cancelled by the
    // user, 2 failed.
    void answerBindsWith(uint code);
    // Sends each Response before the reply to its call, as a portal that
    // answers at once may.
    void answerBeforeReplying(bool before);
    // Requests stay unanswered: a bind as while the user looks at a
    // dialog, anything else as from a portal that hangs.
    void holdAnswers(bool hold);
    void releaseAnswers();

    // The calls received, in order: "CreateSession", "BindShortcuts
    // toggle-recording CTRL+ALT+k", "ListShortcuts", "Session.Close",
    // "Request.Close".
    QStringList calls() const { return m_calls; }
    QStringList openSessions() const;
    int heldAnswers() const { return int(m_held.size()); }

    void activate(const QString &session, const QString &shortcutId);
    void deactivate(const QString &session, const QString &shortcutId);
    // The user gave `shortcutId` other keys in the desktop's settings.
    void rebind(const QString &session, const QString &shortcutId,
                const QString &triggerDescription);
    // The desktop ends the session on its own.
    void closeFromDesktop(const QString &session);

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

private:
    struct HeldAnswer {
        QString requestPath;
        std::function<void()> send;
    };

    // Replies to `call` with its request's path and has `respond` answer
    // the request, now or when the test lets answers go.
    void answer(const QDBusMessage &call, const QString &requestPath,
                std::function<void()> respond);
    void respond(const QString &caller, const QString &requestPath, uint code,
                 const QVariantMap &results);
    void finishBind(const QString &caller, const QString &requestPath, const QString &session,
                    const QList<XdgPortalShortcut> &requested);
    void sendEdge(const char *member, const QString &session, const QString &shortcutId);
    QString describe(const QString &preferredTrigger) const;

    QDBusConnection m_connection;
    QStringList m_calls;
    std::optional<QString> m_boundAs;
    uint m_bindCode = 0;
    bool m_answerBeforeReplying = false;
    bool m_holdAnswers = false;
    QList<HeldAnswer> m_held;
    // Every open session with what is bound in it.
    std::map<QString, QList<XdgPortalShortcut>> m_sessions;
};

} // namespace tovalit::testing
