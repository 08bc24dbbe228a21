#include "tests/support/remote_desktop_portal_stand_in.h"

#include "platform/linux/xdg_portal_request.h"
#include "platform/linux/xdg_portal_signals.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace tovalit::testing {

namespace {

const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

} // namespace

RemoteDesktopPortalStandIn::RemoteDesktopPortalStandIn(QDBusConnection connection, uint version)
    : m_connection(std::move(connection))
    , m_version(version) {}

RemoteDesktopPortalStandIn::~RemoteDesktopPortalStandIn() {
    m_connection.unregisterObject(XdgPortalSignals::desktopPath, QDBusConnection::UnregisterTree);
    m_connection.unregisterService(XdgPortalSignals::service);
}

bool RemoteDesktopPortalStandIn::start() {
    return m_connection.registerVirtualObject(XdgPortalSignals::desktopPath, this,
                                              QDBusConnection::SubPath) &&
           m_connection.registerService(XdgPortalSignals::service);
}

void RemoteDesktopPortalStandIn::answerSessionsWith(uint code) {
    m_sessionCode = code;
}

void RemoteDesktopPortalStandIn::answerUser(uint code, bool keyboard) {
    const QList<Waiting> waiting = std::exchange(m_waiting, {});
    for (const Waiting &start : waiting) {
        if (code == 0)
            share(start, keyboard);
        else
            respond(start.caller, start.requestPath, code, {});
    }
}

QStringList RemoteDesktopPortalStandIn::openSessions() const {
    QStringList sessions;
    for (const auto &[session, state] : m_sessions)
        sessions.append(session);
    return sessions;
}

void RemoteDesktopPortalStandIn::closeFromDesktop(const QString &session) {
    m_sessions.erase(session);
    m_connection.send(
        QDBusMessage::createSignal(session, sessionInterface, QStringLiteral("Closed"))
        << QVariantMap());
}

bool RemoteDesktopPortalStandIn::handleMessage(const QDBusMessage &message,
                                               const QDBusConnection &) {
    const QString member = message.member();
    const QList<QVariant> arguments = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
        member == QLatin1String("GetAll") &&
        arguments.value(0).toString() == remoteDesktopInterface) {
        if (m_versionLate) {
            m_connection.send(
                message.createErrorReply(QDBusError::NoReply, QStringLiteral("no reply in time")));
            return true;
        }
        const QVariantMap properties{{QStringLiteral("version"), m_version},
                                     {QStringLiteral("AvailableDeviceTypes"), uint(7)}};
        m_connection.send(message.createReply(QVariant::fromValue(properties)));
        return true;
    }
    if (message.interface() == sessionInterface && member == QLatin1String("Close")) {
        m_calls.append(QStringLiteral("Session.Close"));
        m_sessions.erase(message.path());
        m_waiting.removeIf([&](const Waiting &start) { return start.session == message.path(); });
        m_connection.send(message.createReply());
        return true;
    }
    if (message.interface() == requestInterface && member == QLatin1String("Close")) {
        m_calls.append(QStringLiteral("Request.Close"));
        m_waiting.removeIf(
            [&](const Waiting &start) { return start.requestPath == message.path(); });
        m_connection.send(message.createReply());
        return true;
    }
    if (message.interface() != remoteDesktopInterface)
        return false;
    return handleSessionCall(message, member);
}

bool RemoteDesktopPortalStandIn::handleSessionCall(const QDBusMessage &message,
                                                   const QString &member) {
    const QList<QVariant> arguments = message.arguments();
    const QString caller = message.service();
    if (member == QLatin1String("NotifyKeyboardKeysym")) {
        const auto found = m_sessions.find(arguments.value(0).value<QDBusObjectPath>().path());
        const QString key = QStringLiteral("%1 %2")
                                .arg(arguments.value(2).toInt())
                                .arg(arguments.value(3).toUInt());
        if (m_refuseKeys) {
            m_refusedKeys.append(key);
            m_connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.Failed"),
                                         QStringLiteral("no device")));
            return true;
        }
        if (found == m_sessions.end() || !found->second.keyboard) {
            m_connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotAllowed"),
                                         QStringLiteral("no keyboard")));
            return true;
        }
        m_keys.append(key);
        m_connection.send(message.createReply());
        return true;
    }

    const QVariantMap options = qdbus_cast<QVariantMap>(arguments.last());
    const QString requestPath =
        XdgPortalRequest::handlePath(caller, QStringLiteral("request"),
                                     options.value(QStringLiteral("handle_token")).toString());
    if (member == QLatin1String("CreateSession")) {
        m_calls.append(member);
        m_connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
        if (m_sessionCode != 0) {
            respond(caller, requestPath, m_sessionCode, {});
            return true;
        }
        const QString session = XdgPortalRequest::handlePath(
            caller, QStringLiteral("session"),
            options.value(QStringLiteral("session_handle_token")).toString());
        m_sessions[session] = Session{caller};
        respond(caller, requestPath, 0, {{QStringLiteral("session_handle"), session}});
        return true;
    }

    const QString session = arguments.value(0).value<QDBusObjectPath>().path();
    const auto found = m_sessions.find(session);
    if (member == QLatin1String("SelectDevices")) {
        const QString token = options.value(QStringLiteral("restore_token")).toString();
        const bool persist = options.value(QStringLiteral("persist_mode")).toUInt() == 2;
        m_calls.append(QStringLiteral("SelectDevices types=%1 persist=%2 restore=%3")
                           .arg(options.value(QStringLiteral("types")).toUInt())
                           .arg(options.value(QStringLiteral("persist_mode")).toUInt())
                           .arg(token));
        if (m_version < 2 && (options.contains(QStringLiteral("persist_mode")) ||
                              options.contains(QStringLiteral("restore_token")))) {
            m_connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.portal.Error.InvalidArgument"),
                QStringLiteral("unsupported option")));
            return true;
        }
        m_connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
        if (found == m_sessions.end()) {
            respond(caller, requestPath, 2, {});
            return true;
        }
        found->second.persist = persist;
        // A token is good once, whatever comes of it.
        found->second.restored = m_validTokens.remove(token);
        respond(caller, requestPath, 0, {});
        return true;
    }
    if (member == QLatin1String("Start")) {
        m_calls.append(member);
        m_connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
        const Waiting start{caller, requestPath, session};
        if (found == m_sessions.end()) {
            respond(caller, requestPath, 2, {});
        } else if (found->second.restored) {
            share(start, true);
        } else {
            ++m_timesAsked;
            m_waiting.append(start);
        }
        return true;
    }
    return false;
}

QString RemoteDesktopPortalStandIn::introspect(const QString &) const {
    return {};
}

void RemoteDesktopPortalStandIn::respond(const QString &caller, const QString &requestPath,
                                         uint code, const QVariantMap &results) {
    QDBusMessage response = QDBusMessage::createTargetedSignal(
        caller, requestPath, requestInterface, QStringLiteral("Response"));
    response << code << results;
    m_connection.send(response);
}

void RemoteDesktopPortalStandIn::share(const Waiting &start, bool keyboard) {
    const auto found = m_sessions.find(start.session);
    if (found == m_sessions.end()) {
        respond(start.caller, start.requestPath, 2, {});
        return;
    }
    found->second.keyboard = keyboard;
    QVariantMap results{{QStringLiteral("devices"), uint(keyboard ? 1 : 0)}};
    if (m_version >= 2 && found->second.persist) {
        const QString token = QStringLiteral("token-%1").arg(++m_tokensMade);
        m_validTokens.insert(token);
        results.insert(QStringLiteral("restore_token"), token);
    }
    respond(start.caller, start.requestPath, 0, results);
}

} // namespace tovalit::testing
