#include "tests/support/global_shortcuts_portal_stand_in.h"

#include "platform/linux/xdg_portal_request.h"
#include "platform/linux/xdg_portal_signals.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace tovalit::testing {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

} // namespace

GlobalShortcutsPortalStandIn::GlobalShortcutsPortalStandIn(QDBusConnection connection)
    : m_connection(std::move(connection)) {
    registerXdgPortalShortcutType();
}

GlobalShortcutsPortalStandIn::~GlobalShortcutsPortalStandIn() {
    stop();
}

bool GlobalShortcutsPortalStandIn::start() {
    return m_connection.registerVirtualObject(XdgPortalSignals::desktopPath, this,
                                              QDBusConnection::SubPath) &&
           m_connection.registerService(XdgPortalSignals::service);
}

void GlobalShortcutsPortalStandIn::stop() {
    m_connection.unregisterObject(XdgPortalSignals::desktopPath, QDBusConnection::UnregisterTree);
    m_connection.unregisterService(XdgPortalSignals::service);
    m_sessions.clear();
    m_held.clear();
}

void GlobalShortcutsPortalStandIn::bindAs(std::optional<QString> triggerDescription) {
    m_boundAs = std::move(triggerDescription);
}

void GlobalShortcutsPortalStandIn::answerBindsWith(uint code) {
    m_bindCode = code;
}

void GlobalShortcutsPortalStandIn::answerBeforeReplying(bool before) {
    m_answerBeforeReplying = before;
}

void GlobalShortcutsPortalStandIn::holdAnswers(bool hold) {
    m_holdAnswers = hold;
}

void GlobalShortcutsPortalStandIn::releaseAnswers() {
    m_holdAnswers = false;
    const QList<HeldAnswer> held = std::exchange(m_held, {});
    for (const HeldAnswer &answer : held)
        answer.send();
}

QStringList GlobalShortcutsPortalStandIn::openSessions() const {
    QStringList sessions;
    for (const auto &[session, bound] : m_sessions)
        sessions.append(session);
    return sessions;
}

void GlobalShortcutsPortalStandIn::activate(const QString &session, const QString &shortcutId) {
    sendEdge("Activated", session, shortcutId);
}

void GlobalShortcutsPortalStandIn::deactivate(const QString &session, const QString &shortcutId) {
    sendEdge("Deactivated", session, shortcutId);
}

void GlobalShortcutsPortalStandIn::rebind(const QString &session, const QString &shortcutId,
                                          const QString &triggerDescription) {
    QList<XdgPortalShortcut> &bound = m_sessions[session];
    for (XdgPortalShortcut &shortcut : bound) {
        if (shortcut.id == shortcutId)
            shortcut.properties.insert(QStringLiteral("trigger_description"), triggerDescription);
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        XdgPortalSignals::desktopPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << QVariant::fromValue(bound);
    m_connection.send(signal);
}

void GlobalShortcutsPortalStandIn::closeFromDesktop(const QString &session) {
    m_sessions.erase(session);
    m_connection.send(QDBusMessage::createSignal(session,
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Closed"))
                      << QVariantMap());
}

bool GlobalShortcutsPortalStandIn::handleMessage(const QDBusMessage &message,
                                                 const QDBusConnection &) {
    const QString member = message.member();
    const QList<QVariant> arguments = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
        member == QLatin1String("Get") && arguments.value(0).toString() == shortcutsInterface &&
        arguments.value(1).toString() == QLatin1String("version")) {
        m_connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
        return true;
    }
    if (message.interface() == QLatin1String("org.freedesktop.portal.Session") &&
        member == QLatin1String("Close")) {
        m_calls.append(QStringLiteral("Session.Close"));
        m_sessions.erase(message.path());
        m_connection.send(message.createReply());
        return true;
    }
    if (message.interface() == QLatin1String("org.freedesktop.portal.Request") &&
        member == QLatin1String("Close")) {
        m_calls.append(QStringLiteral("Request.Close"));
        m_held.removeIf([&](const HeldAnswer &held) { return held.requestPath == message.path(); });
        m_connection.send(message.createReply());
        return true;
    }
    if (message.interface() != shortcutsInterface)
        return false;

    const QVariantMap options = qdbus_cast<QVariantMap>(arguments.last());
    const QString caller = message.service();
    const QString requestPath =
        XdgPortalRequest::handlePath(caller, QStringLiteral("request"),
                                     options.value(QStringLiteral("handle_token")).toString());
    if (member == QLatin1String("CreateSession")) {
        m_calls.append(member);
        const QString session = XdgPortalRequest::handlePath(
            caller, QStringLiteral("session"),
            options.value(QStringLiteral("session_handle_token")).toString());
        // The portal interface types the handle as a string.
        answer(message, requestPath, [this, caller, requestPath, session] {
            m_sessions[session] = {};
            respond(caller, requestPath, 0, {{QStringLiteral("session_handle"), session}});
        });
        return true;
    }
    const QString session = arguments.value(0).value<QDBusObjectPath>().path();
    if (member == QLatin1String("BindShortcuts")) {
        const QList<XdgPortalShortcut> requested = xdgPortalShortcutsFrom(arguments.value(1));
        for (const XdgPortalShortcut &shortcut : requested)
            m_calls.append(
                QStringLiteral("BindShortcuts %1 %2")
                    .arg(shortcut.id,
                         shortcut.properties.value(QStringLiteral("preferred_trigger")).toString())
                    .trimmed());
        answer(message, requestPath, [this, caller, requestPath, session, requested] {
            finishBind(caller, requestPath, session, requested);
        });
        return true;
    }
    if (member == QLatin1String("ListShortcuts")) {
        m_calls.append(member);
        answer(message, requestPath, [this, caller, requestPath, session] {
            const auto found = m_sessions.find(session);
            if (found == m_sessions.end())
                respond(caller, requestPath, 2, {});
            else
                respond(caller, requestPath, 0,
                        {{QStringLiteral("shortcuts"), QVariant::fromValue(found->second)}});
        });
        return true;
    }
    return false;
}

QString GlobalShortcutsPortalStandIn::introspect(const QString &) const {
    return {};
}

void GlobalShortcutsPortalStandIn::answer(const QDBusMessage &call, const QString &requestPath,
                                          std::function<void()> respond) {
    const QDBusMessage reply = call.createReply(QVariant::fromValue(QDBusObjectPath(requestPath)));
    if (m_holdAnswers) {
        m_connection.send(reply);
        m_held.append({requestPath, std::move(respond)});
        return;
    }
    if (!m_answerBeforeReplying)
        m_connection.send(reply);
    respond();
    if (m_answerBeforeReplying)
        m_connection.send(reply);
}

void GlobalShortcutsPortalStandIn::respond(const QString &caller, const QString &requestPath,
                                           uint code, const QVariantMap &results) {
    QDBusMessage response = QDBusMessage::createTargetedSignal(
        caller, requestPath, QStringLiteral("org.freedesktop.portal.Request"),
        QStringLiteral("Response"));
    response << code << results;
    m_connection.send(response);
}

void GlobalShortcutsPortalStandIn::finishBind(const QString &caller, const QString &requestPath,
                                              const QString &session,
                                              const QList<XdgPortalShortcut> &requested) {
    const auto found = m_sessions.find(session);
    if (found == m_sessions.end() || m_bindCode != 0) {
        respond(caller, requestPath, found == m_sessions.end() ? 2 : m_bindCode, {});
        return;
    }
    QList<XdgPortalShortcut> bound;
    for (const XdgPortalShortcut &shortcut : requested) {
        QVariantMap properties;
        properties.insert(QStringLiteral("description"),
                          shortcut.properties.value(QStringLiteral("description")));
        properties.insert(
            QStringLiteral("trigger_description"),
            m_boundAs.value_or(describe(
                shortcut.properties.value(QStringLiteral("preferred_trigger")).toString())));
        bound.append({shortcut.id, properties});
    }
    found->second = bound;
    respond(caller, requestPath, 0, {{QStringLiteral("shortcuts"), QVariant::fromValue(bound)}});
}

void GlobalShortcutsPortalStandIn::sendEdge(const char *member, const QString &session,
                                            const QString &shortcutId) {
    QDBusMessage signal = QDBusMessage::createSignal(
        XdgPortalSignals::desktopPath, shortcutsInterface, QString::fromLatin1(member));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcutId << qulonglong(1000)
           << QVariantMap();
    m_connection.send(signal);
}

QString GlobalShortcutsPortalStandIn::describe(const QString &preferredTrigger) const {
    static const std::map<QString, QString> words = {
        {QStringLiteral("CTRL"), QStringLiteral("Ctrl")},
        {QStringLiteral("ALT"), QStringLiteral("Alt")},
        {QStringLiteral("SHIFT"), QStringLiteral("Shift")},
        {QStringLiteral("LOGO"), QStringLiteral("Meta")}};
    QStringList parts = preferredTrigger.split(u'+', Qt::SkipEmptyParts);
    for (QString &part : parts) {
        const auto word = words.find(part);
        part = word != words.end() ? word->second : part.left(1).toUpper() + part.mid(1);
    }
    return parts.join(u'+');
}

} // namespace tovalit::testing
