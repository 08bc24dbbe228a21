#pragma once

#include "platform/desktop_global_shortcuts.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <map>
#include <memory>

namespace tovalit {

class XdgPortalRequest;
class XdgPortalSignals;

// Global shortcuts through the desktop portal's GlobalShortcuts interface
// (org.freedesktop.portal.GlobalShortcuts, version 1), which KDE Plasma
// and newer GNOME offer in Wayland sessions. Every call is answered through
// the portal's request objects; the shortcuts' signals of every open
// session go to the installed handler. The portal's sessions live in its
// process, which may end (or be replaced) without closing them, so the
// portal's bus name is watched: when its owner goes, every session and
// every wait ends. GUI thread only.
class XdgGlobalShortcutsPortal final : public QObject, public DesktopGlobalShortcuts {
    Q_OBJECT

public:
    // `answerLimit` bounds the wait for answers that need no user (opening
    // a session, listing shortcuts).
    explicit XdgGlobalShortcutsPortal(
        QDBusConnection bus = QDBusConnection::sessionBus(),
        std::chrono::milliseconds answerLimit = std::chrono::seconds(10),
        QObject *parent = nullptr);
    ~XdgGlobalShortcutsPortal() override;

    void installHandler(EventHandler handler) override;
    void removeHandler() override;
    QCoro::Task<QString> createSession() override;
    QCoro::Task<QList<DesktopShortcut>>
    bindShortcuts(QString session, QList<DesktopShortcutRequest> shortcuts) override;
    QCoro::Task<QList<DesktopShortcut>> listShortcuts(QString session) override;
    void closeSession(QString session) override;

private:
    struct OpenSession {
        std::unique_ptr<XdgPortalSignals> closing;
        QList<QPointer<XdgPortalRequest>> requests;
    };

    // Calls `method` of the GlobalShortcuts interface with `arguments`
    // followed by `options` (which gain the request's token) and waits for
    // its answer; a request for `session` ends when the session does.
    QCoro::Task<QVariantMap> request(QString method, QVariantList arguments, QVariantMap options,
                                     std::optional<std::chrono::milliseconds> answerLimit,
                                     QString session = {});
    void listenForShortcuts();
    void listenForClosing(const QString &session);
    void forget(const QString &session);
    void handleOwnerChange(const QString &service, const QString &oldOwner,
                           const QString &newOwner);
    void deliver(const Event &event);

    QDBusConnection m_bus;
    std::chrono::milliseconds m_answerLimit;
    EventHandler m_handler;
    std::unique_ptr<XdgPortalSignals> m_shortcutSignals;
    std::map<QString, OpenSession> m_sessions;
    // Requests of no session (opening one), which end with the portal.
    QList<QPointer<XdgPortalRequest>> m_requests;
};

} // namespace tovalit
