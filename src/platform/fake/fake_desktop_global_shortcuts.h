#pragma once

#include "platform/desktop_global_shortcuts.h"

#include <QObject>
#include <QStringList>

#include <optional>
#include <set>

namespace tovalit {

// The desktop's global shortcuts for tests: records every call in order
// ("create session1", "bind session1 toggle-recording CTRL+ALT+k",
// "list session1", "close session1"), answers as told, can hold binds
// until the test lets them go, and sends the test's events. GUI thread.
class FakeDesktopGlobalShortcuts final : public QObject, public DesktopGlobalShortcuts {
    Q_OBJECT

public:
    void failSessions(std::optional<DesktopGlobalShortcutsError> error);
    void failBinds(std::optional<DesktopGlobalShortcutsError> error);
    // What the desktop reports bound for every shortcut it is asked for:
    // by default the preferred trigger itself; an empty text for none.
    void bindTriggersAs(std::optional<QString> triggerDescription);
    // What listing answers; by default what was bound last.
    void listAs(std::optional<QList<DesktopShortcut>> shortcuts);
    // Binds wait, as for a user in a dialog, until releaseBinds().
    void holdBinds(bool hold);
    void releaseBinds();

    QStringList calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    QStringList openSessions() const;
    bool hasHandler() const { return bool(m_handler); }
    int pendingBinds() const { return m_pendingBinds; }

    // Hands `event` to the installed handler; false when none is installed.
    bool send(const Event &event);

    void installHandler(EventHandler handler) override;
    void removeHandler() override;
    QCoro::Task<QString> createSession() override;
    QCoro::Task<QList<DesktopShortcut>>
    bindShortcuts(QString session, QList<DesktopShortcutRequest> shortcuts) override;
    QCoro::Task<QList<DesktopShortcut>> listShortcuts(QString session) override;
    void closeSession(QString session) override;

Q_SIGNALS:
    void holdChanged();

private:
    QStringList m_calls;
    EventHandler m_handler;
    std::optional<DesktopGlobalShortcutsError> m_sessionFailure;
    std::optional<DesktopGlobalShortcutsError> m_bindFailure;
    std::optional<QString> m_boundTrigger;
    std::optional<QList<DesktopShortcut>> m_listed;
    QList<DesktopShortcut> m_lastBound;
    bool m_holdBinds = false;
    int m_pendingBinds = 0;
    int m_sessionsMade = 0;
    std::set<QString> m_open;
};

} // namespace tovalit
