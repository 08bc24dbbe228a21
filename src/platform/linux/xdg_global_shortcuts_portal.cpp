#include "platform/linux/xdg_global_shortcuts_portal.h"

#include "platform/linux/xdg_portal_request.h"
#include "platform/linux/xdg_portal_signals.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>

namespace tovalit {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

QList<DesktopShortcut> desktopShortcuts(const QList<XdgPortalShortcut> &shortcuts) {
    QList<DesktopShortcut> result;
    for (const XdgPortalShortcut &shortcut : shortcuts) {
        result.append(
            {shortcut.id, shortcut.properties.value(QStringLiteral("description")).toString(),
             shortcut.properties.value(QStringLiteral("trigger_description")).toString()});
    }
    return result;
}

} // namespace

XdgGlobalShortcutsPortal::XdgGlobalShortcutsPortal(QDBusConnection bus,
                                                   std::chrono::milliseconds answerLimit,
                                                   QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_answerLimit(answerLimit) {
    registerXdgPortalShortcutType();
    auto *watcher = new QDBusServiceWatcher(XdgPortalSignals::service, m_bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &XdgGlobalShortcutsPortal::handleOwnerChange);
}

XdgGlobalShortcutsPortal::~XdgGlobalShortcutsPortal() {
    while (!m_sessions.empty())
        closeSession(m_sessions.begin()->first);
}

void XdgGlobalShortcutsPortal::installHandler(EventHandler handler) {
    m_handler = std::move(handler);
}

void XdgGlobalShortcutsPortal::removeHandler() {
    m_handler = {};
}

QCoro::Task<QString> XdgGlobalShortcutsPortal::createSession() {
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"), XdgPortalRequest::newToken());
    const QVariantMap results =
        co_await request(QStringLiteral("CreateSession"), QVariantList(), options, m_answerLimit);
    // The portal interface types the handle as a string; some portals send a path.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    const QString session = handle.canConvert<QDBusObjectPath>()
                                ? handle.value<QDBusObjectPath>().path()
                                : handle.toString();
    if (session.isEmpty())
        throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::refused,
                                          QStringLiteral("CreateSession gave no session"));
    listenForClosing(session);
    // Only now: a listener set up before the portal's first answer missed
    // its broadcast signals (seen with Qt 6.4). Nothing fires before the
    // first binding, which is asked for after this.
    listenForShortcuts();
    co_return session;
}

QCoro::Task<QList<DesktopShortcut>>
XdgGlobalShortcutsPortal::bindShortcuts(QString session, QList<DesktopShortcutRequest> shortcuts) {
    QList<XdgPortalShortcut> wanted;
    for (const DesktopShortcutRequest &shortcut : shortcuts) {
        QVariantMap properties;
        properties.insert(QStringLiteral("description"), shortcut.description);
        if (!shortcut.preferredTrigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), shortcut.preferredTrigger);
        wanted.append({shortcut.id, properties});
    }
    // No parent window: ours are X11 windows the Wayland desktop cannot
    // place a dialog over. No limit: the desktop may ask the user.
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(session)),
                                 QVariant::fromValue(wanted), QString()};
    const QVariantMap results = co_await request(QStringLiteral("BindShortcuts"), arguments,
                                                 QVariantMap(), std::nullopt, session);
    co_return desktopShortcuts(xdgPortalShortcutsFrom(results.value(QStringLiteral("shortcuts"))));
}

QCoro::Task<QList<DesktopShortcut>> XdgGlobalShortcutsPortal::listShortcuts(QString session) {
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(session))};
    const QVariantMap results = co_await request(QStringLiteral("ListShortcuts"), arguments,
                                                 QVariantMap(), m_answerLimit, session);
    co_return desktopShortcuts(xdgPortalShortcutsFrom(results.value(QStringLiteral("shortcuts"))));
}

void XdgGlobalShortcutsPortal::closeSession(QString session) {
    if (!m_sessions.count(session))
        return;
    m_bus.asyncCall(QDBusMessage::createMethodCall(XdgPortalSignals::service, session,
                                                   QStringLiteral("org.freedesktop.portal.Session"),
                                                   QStringLiteral("Close")));
    forget(session);
}

QCoro::Task<QVariantMap>
XdgGlobalShortcutsPortal::request(QString method, QVariantList arguments, QVariantMap options,
                                  std::optional<std::chrono::milliseconds> answerLimit,
                                  QString session) {
    if (!session.isEmpty() && !m_sessions.count(session))
        throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::refused,
                                          QStringLiteral("no open session ") + session);
    auto pending = std::make_shared<XdgPortalRequest>(m_bus);
    QList<QPointer<XdgPortalRequest>> &requests =
        session.isEmpty() ? m_requests : m_sessions[session].requests;
    requests.removeIf([](const QPointer<XdgPortalRequest> &done) { return !done; });
    requests.append(pending.get());
    options.insert(QStringLiteral("handle_token"), pending->token());
    QDBusMessage call = QDBusMessage::createMethodCall(
        XdgPortalSignals::service, XdgPortalSignals::desktopPath, shortcutsInterface, method);
    call.setArguments(arguments << options);
    const XdgPortalRequest::Response response =
        co_await pending->send(std::move(call), answerLimit);
    switch (response.code) {
    case 0:
        co_return response.results;
    case 1:
        throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::cancelled, method);
    default:
        throw DesktopGlobalShortcutsError(DesktopGlobalShortcutsError::Kind::refused, method);
    }
}

void XdgGlobalShortcutsPortal::listenForShortcuts() {
    if (m_shortcutSignals)
        return;
    m_shortcutSignals = std::make_unique<XdgPortalSignals>(
        XdgPortalSignals::desktopPath, "org.freedesktop.portal.GlobalShortcuts", m_bus);
    const auto edge = [this](Event::Kind kind) {
        return [this, kind](const QDBusObjectPath &session, const QString &shortcutId, qulonglong,
                            const QVariantMap &) {
            if (m_sessions.count(session.path()))
                deliver({kind, session.path(), shortcutId, {}});
        };
    };
    connect(m_shortcutSignals.get(), &XdgPortalSignals::Activated, this,
            edge(Event::Kind::activated));
    connect(m_shortcutSignals.get(), &XdgPortalSignals::Deactivated, this,
            edge(Event::Kind::deactivated));
    connect(m_shortcutSignals.get(), &XdgPortalSignals::ShortcutsChanged, this,
            [this](const QDBusObjectPath &session, const QList<XdgPortalShortcut> &shortcuts) {
                if (m_sessions.count(session.path()))
                    deliver({Event::Kind::shortcutsChanged,
                             session.path(),
                             {},
                             desktopShortcuts(shortcuts)});
            });
}

void XdgGlobalShortcutsPortal::listenForClosing(const QString &session) {
    OpenSession &open = m_sessions[session];
    open.closing =
        std::make_unique<XdgPortalSignals>(session, "org.freedesktop.portal.Session", m_bus);
    connect(open.closing.get(), &XdgPortalSignals::Closed, this, [this, session] {
        if (!m_sessions.count(session))
            return;
        forget(session);
        deliver({Event::Kind::sessionClosed, session, {}, {}});
    });
}

void XdgGlobalShortcutsPortal::forget(const QString &session) {
    auto found = m_sessions.find(session);
    if (found == m_sessions.end())
        return;
    const QList<QPointer<XdgPortalRequest>> requests = found->second.requests;
    m_sessions.erase(found);
    for (const QPointer<XdgPortalRequest> &pending : requests) {
        if (pending)
            pending->abandon();
    }
}

void XdgGlobalShortcutsPortal::handleOwnerChange(const QString &, const QString &oldOwner,
                                                 const QString &newOwner) {
    if (!oldOwner.isEmpty()) {
        // Told first, so that nothing waiting on the portal takes its end
        // for an answer.
        deliver({Event::Kind::serviceLost, {}, {}, {}});
        std::vector<QString> sessions;
        for (const auto &[session, open] : m_sessions)
            sessions.push_back(session);
        for (const QString &session : sessions)
            forget(session);
        const QList<QPointer<XdgPortalRequest>> requests = std::exchange(m_requests, {});
        for (const QPointer<XdgPortalRequest> &pending : requests) {
            if (pending)
                pending->abandon();
        }
        // The next session listens afresh, as the first did once the
        // portal had answered.
        m_shortcutSignals.reset();
    }
    if (!newOwner.isEmpty())
        deliver({Event::Kind::serviceAvailable, {}, {}, {}});
}

void XdgGlobalShortcutsPortal::deliver(const Event &event) {
    if (m_handler)
        m_handler(event);
}

} // namespace tovalit
