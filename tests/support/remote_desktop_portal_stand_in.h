#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <map>

namespace tovalit::testing {

// The desktop portal's RemoteDesktop interface as a test scripts it,
// served on a connection of the test's (normally to a private bus), in
// version 1 (a grant lasts for its session; options of version 2 are
// refused, as an older portal may) or version 2 (a grant asked to persist
// comes back with a restore token, which opens a later session without
// asking). Starting a session asks "the user", whose answer is the test's
// to give; a session restored from a token is not asked. Lives on the
// test's thread.
class RemoteDesktopPortalStandIn final : public QDBusVirtualObject {
public:
    RemoteDesktopPortalStandIn(QDBusConnection connection, uint version);
    ~RemoteDesktopPortalStandIn() override;

    // Takes the portal's name and object; false when the bus refused.
    bool start();

    // The Response code of CreateSession (2: the portal cannot open one,
    // as KDE's did in a headless session).
    void answerSessionsWith(uint code);
    // The user's answer to every Start waiting for one: 0 shared (with the
    // keyboard unless `keyboard` is false), 1 cancelled, 2 ended otherwise
    // (as GNOME answers when its session fails to start).
    void answerUser(uint code, bool keyboard = true);
    // The version is asked for and comes back as a call whose limit passed
    // does, until told otherwise.
    void answerVersionLate(bool late) { m_versionLate = late; }
    // Keys are refused from now on, as by a portal whose backend has gone.
    void refuseKeys(bool refuse) { m_refuseKeys = refuse; }

    // The calls received, in order: "CreateSession", "SelectDevices
    // types=1 persist=2 restore=token-1", "Start", "Session.Close",
    // "Request.Close".
    QStringList calls() const { return m_calls; }
    // The keys pressed on open sessions: "65507 1" (keysym, state).
    QStringList keys() const { return m_keys; }
    // The keys refused, in the same form.
    QStringList refusedKeys() const { return m_refusedKeys; }
    // How often a Start asked the user, and how many wait for an answer.
    int timesAsked() const { return m_timesAsked; }
    int waitingForUser() const { return int(m_waiting.size()); }
    QStringList openSessions() const;

    // The desktop ends the session on its own.
    void closeFromDesktop(const QString &session);

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &path) const override;

private:
    struct Session {
        QString caller;
        bool persist = false;
        bool restored = false;
        bool keyboard = false;
    };
    struct Waiting {
        QString caller;
        QString requestPath;
        QString session;
    };

    bool handleSessionCall(const QDBusMessage &message, const QString &member);
    void respond(const QString &caller, const QString &requestPath, uint code,
                 const QVariantMap &results);
    // Shares the session, with a new restore token when asked to persist.
    void share(const Waiting &start, bool keyboard);

    QDBusConnection m_connection;
    uint m_version;
    uint m_sessionCode = 0;
    bool m_versionLate = false;
    bool m_refuseKeys = false;
    QStringList m_refusedKeys;
    QStringList m_calls;
    QStringList m_keys;
    int m_timesAsked = 0;
    int m_tokensMade = 0;
    QList<Waiting> m_waiting;
    QSet<QString> m_validTokens;
    std::map<QString, Session> m_sessions;
};

} // namespace tovalit::testing
