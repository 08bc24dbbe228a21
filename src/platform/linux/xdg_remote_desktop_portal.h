#pragma once

#include "platform/remote_desktop_keyboard.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <chrono>
#include <memory>
#include <optional>

namespace tovalit {

class XdgPortalRequest;
class XdgPortalSignals;

// The keyboard of the desktop portal's RemoteDesktop interface
// (org.freedesktop.portal.RemoteDesktop), which GNOME and KDE Plasma offer:
// a session with only a keyboard, opened through the portal's request
// objects, and Ctrl+V pressed on it by key symbol, so that the user's
// keyboard layout does not matter. From version 2 on the grant is asked
// to persist until the user revokes it. A portal that exits or restarts
// ends the session, as the desktop ending it would. GUI thread only.
class XdgRemoteDesktopPortal final : public QObject, public RemoteDesktopKeyboard {
    Q_OBJECT

public:
    // `answerLimit` bounds the answers that need no user (the version,
    // opening the session, choosing its devices, each key).
    explicit XdgRemoteDesktopPortal(
        QDBusConnection bus = QDBusConnection::sessionBus(),
        std::chrono::milliseconds answerLimit = std::chrono::seconds(10),
        QObject *parent = nullptr);
    ~XdgRemoteDesktopPortal() override;

    QCoro::Task<uint> version() override;
    QCoro::Task<Grant> open(QString restoreToken) override;
    bool isOpen() const override { return m_open; }
    QCoro::Task<bool> pressPasteShortcut() override;
    QCoro::Task<bool> pressPasteKeys(PasteKeys keys) override;
    void close() override;
    void setOnClosed(std::function<void()> handler) override;

private:
    // Calls `method` with `arguments` followed by `options` (which gain
    // the request's token) and waits for its answer; close() ends the
    // wait.
    QCoro::Task<QVariantMap> request(QString method, QVariantList arguments, QVariantMap options,
                                     std::optional<std::chrono::milliseconds> answerLimit);
    // Whether no close() came since `attempt` began and the portal object
    // is still there; ensureStillWanted() throws `closed` otherwise.
    static bool isCurrent(const QPointer<XdgRemoteDesktopPortal> &self, quint64 attempt);
    static void ensureStillWanted(const QPointer<XdgRemoteDesktopPortal> &self, quint64 attempt);
    void listenForClosing(const QString &session);
    // close(), telling the portal only when `tellPortal`.
    void endSession(bool tellPortal);
    void handleOwnerChange(const QString &name, const QString &oldOwner, const QString &newOwner);

    QDBusConnection m_bus;
    std::chrono::milliseconds m_answerLimit;
    std::optional<uint> m_version;
    // The session being opened or open; empty when there is none.
    QString m_session;
    bool m_open = false;
    // Counts close() calls: an opening that sees it change was given up.
    quint64 m_closes = 0;
    QPointer<XdgPortalRequest> m_pending;
    std::unique_ptr<XdgPortalSignals> m_closing;
    std::function<void()> m_onClosed;
};

} // namespace tovalit
