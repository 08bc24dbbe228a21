#include "platform/fake/fake_desktop_global_shortcuts.h"

#include <qcoro/qcorosignal.h>

namespace tovalit {

void FakeDesktopGlobalShortcuts::failSessions(std::optional<DesktopGlobalShortcutsError> error) {
    m_sessionFailure = std::move(error);
}

void FakeDesktopGlobalShortcuts::failBinds(std::optional<DesktopGlobalShortcutsError> error) {
    m_bindFailure = std::move(error);
}

void FakeDesktopGlobalShortcuts::bindTriggersAs(std::optional<QString> triggerDescription) {
    m_boundTrigger = std::move(triggerDescription);
}

void FakeDesktopGlobalShortcuts::listAs(std::optional<QList<DesktopShortcut>> shortcuts) {
    m_listed = std::move(shortcuts);
}

void FakeDesktopGlobalShortcuts::holdBinds(bool hold) {
    m_holdBinds = hold;
    Q_EMIT holdChanged();
}

void FakeDesktopGlobalShortcuts::releaseBinds() {
    holdBinds(false);
}

QStringList FakeDesktopGlobalShortcuts::openSessions() const {
    return QStringList(m_open.begin(), m_open.end());
}

bool FakeDesktopGlobalShortcuts::send(const Event &event) {
    if (!m_handler)
        return false;
    m_handler(event);
    return true;
}

void FakeDesktopGlobalShortcuts::installHandler(EventHandler handler) {
    m_handler = std::move(handler);
}

void FakeDesktopGlobalShortcuts::removeHandler() {
    m_handler = {};
}

QCoro::Task<QString> FakeDesktopGlobalShortcuts::createSession() {
    const QString session = QStringLiteral("session") + QString::number(++m_sessionsMade);
    m_calls.append(QStringLiteral("create ") + session);
    if (m_sessionFailure)
        throw *m_sessionFailure;
    m_open.insert(session);
    co_return session;
}

QCoro::Task<QList<DesktopShortcut>>
FakeDesktopGlobalShortcuts::bindShortcuts(QString session,
                                          QList<DesktopShortcutRequest> shortcuts) {
    for (const DesktopShortcutRequest &shortcut : shortcuts)
        m_calls.append(QStringLiteral("bind %1 %2 %3")
                           .arg(session, shortcut.id, shortcut.preferredTrigger)
                           .trimmed());
    ++m_pendingBinds;
    while (m_holdBinds && m_open.count(session))
        co_await qCoro(this, &FakeDesktopGlobalShortcuts::holdChanged);
    --m_pendingBinds;
    if (!m_open.count(session))
        throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::refused,
                                          QStringLiteral("session closed"));
    if (m_bindFailure)
        throw *m_bindFailure;
    m_lastBound.clear();
    for (const DesktopShortcutRequest &shortcut : shortcuts)
        m_lastBound.append({shortcut.id, shortcut.description,
                            m_boundTrigger.value_or(shortcut.preferredTrigger)});
    // A copy: QCoro's return_value moves from whatever lvalue it is given.
    co_return QList<DesktopShortcut>(m_lastBound);
}

QCoro::Task<QList<DesktopShortcut>> FakeDesktopGlobalShortcuts::listShortcuts(QString session) {
    m_calls.append(QStringLiteral("list ") + session);
    if (!m_open.count(session))
        throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::refused);
    co_return m_listed.value_or(m_lastBound);
}

void FakeDesktopGlobalShortcuts::closeSession(QString session) {
    m_calls.append(QStringLiteral("close ") + session);
    m_open.erase(session);
    // A held bind on it ends.
    Q_EMIT holdChanged();
}

} // namespace tovalit
