#include "platform/linux/xdg_remote_desktop_portal.h"

#include "platform/desktop_global_shortcuts.h"
#include "platform/linux/xdg_portal_request.h"
#include "platform/linux/xdg_portal_signals.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <qcoro/qcorodbuspendingcall.h>

#include <X11/keysym.h>
#include <algorithm>

namespace tovalit {

namespace {

using Kind = RemoteDesktopKeyboardError::Kind;

const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The device-type bit of a keyboard, and the persist mode that keeps a
// grant until the user revokes it.
constexpr uint keyboardDevice = 1;
constexpr uint persistUntilRevoked = 2;

// The request helper speaks in the global shortcuts' terms: a failed call,
// a limit that passed, a wait ended without an answer (our close()). Only
// the version tells that the desktop lends no keyboard: a portal that has
// the interface and fails a call (its backend not up yet, say) may do
// better at the next recording.
RemoteDesktopKeyboardError fromRequestError(const DesktopGlobalShortcutsError &error) {
    if (error.kind() == DesktopGlobalShortcutsError::Kind::noAnswer)
        return RemoteDesktopKeyboardError(Kind::noAnswer, error.detail());
    return RemoteDesktopKeyboardError(Kind::closed, error.detail());
}

bool isLate(const QDBusMessage &reply) {
    return reply.errorName() == QDBusError::errorString(QDBusError::NoReply) ||
           reply.errorName() == QDBusError::errorString(QDBusError::Timeout);
}

void closeSessionAt(QDBusConnection bus, const QString &session) {
    bus.asyncCall(QDBusMessage::createMethodCall(XdgPortalSignals::service, session,
                                                 sessionInterface, QStringLiteral("Close")));
}

QDBusMessage keysymCall(const QString &session, int keysym, bool pressed) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        XdgPortalSignals::service, XdgPortalSignals::desktopPath, remoteDesktopInterface,
        QStringLiteral("NotifyKeyboardKeysym"));
    call.setArguments({QVariant::fromValue(QDBusObjectPath(session)), QVariantMap(), keysym,
                       uint(pressed ? 1 : 0)});
    return call;
}

QCoro::Task<bool> notifyKeysym(QDBusConnection bus, QString session, int keysym, bool pressed,
                               int limitMilliseconds) {
    const QDBusPendingCall pending =
        bus.asyncCall(keysymCall(session, keysym, pressed), limitMilliseconds);
    const QDBusMessage reply = co_await pending;
    co_return reply.type() == QDBusMessage::ReplyMessage;
}

// After a key the portal did not take, the ones that may be down come up
// again without waiting on a portal that may not answer at all; a release
// of a key that is not down changes nothing.
void releaseWithoutWaiting(QDBusConnection bus, const QString &session, QList<int> keysyms) {
    std::reverse(keysyms.begin(), keysyms.end());
    for (const int keysym : keysyms) {
        QDBusMessage release = keysymCall(session, keysym, false);
        release.setAutoStartService(false);
        bus.asyncCall(release);
    }
}

// The modifiers first, the key last.
QList<int> keysymsOf(PasteKeys keys) {
    switch (keys) {
    case PasteKeys::controlV:
        return {XK_Control_L, XK_v};
    case PasteKeys::controlShiftV:
        return {XK_Control_L, XK_Shift_L, XK_v};
    case PasteKeys::shiftInsert:
        return {XK_Shift_L, XK_Insert};
    }
    return {};
}

} // namespace

XdgRemoteDesktopPortal::XdgRemoteDesktopPortal(QDBusConnection bus,
                                               std::chrono::milliseconds answerLimit,
                                               QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_answerLimit(answerLimit) {
    // The portal's sessions end with its process; when it exits or
    // restarts, nothing says Closed for them.
    auto *watcher = new QDBusServiceWatcher(XdgPortalSignals::service, m_bus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &XdgRemoteDesktopPortal::handleOwnerChange);
}

XdgRemoteDesktopPortal::~XdgRemoteDesktopPortal() {
    close();
}

void XdgRemoteDesktopPortal::setOnClosed(std::function<void()> handler) {
    m_onClosed = std::move(handler);
}

QCoro::Task<uint> XdgRemoteDesktopPortal::version() {
    if (m_version)
        co_return *m_version;
    QPointer<XdgRemoteDesktopPortal> self(this);
    QDBusMessage call = QDBusMessage::createMethodCall(
        XdgPortalSignals::service, XdgPortalSignals::desktopPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    call.setArguments({remoteDesktopInterface});
    const QDBusPendingCall pending = m_bus.asyncCall(call, int(m_answerLimit.count()));
    const QDBusMessage reply = co_await pending;
    // A portal without the interface answers with an error; one that only
    // lends pointers or screens has nothing for us either. One that did not
    // answer in time (still starting, say) is asked again next time.
    if (isLate(reply))
        throw RemoteDesktopKeyboardError(Kind::noAnswer, reply.errorMessage());
    uint found = 0;
    if (reply.type() == QDBusMessage::ReplyMessage) {
        const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        const uint devices =
            properties.value(QStringLiteral("AvailableDeviceTypes"), keyboardDevice).toUInt();
        if (devices & keyboardDevice)
            found = properties.value(QStringLiteral("version")).toUInt();
    }
    if (self)
        m_version = found;
    co_return found;
}

QCoro::Task<RemoteDesktopKeyboard::Grant> XdgRemoteDesktopPortal::open(QString restoreToken) {
    close();
    QPointer<XdgRemoteDesktopPortal> self(this);
    const QDBusConnection bus = m_bus;
    const quint64 attempt = m_closes;
    const uint serviceVersion = co_await version();
    ensureStillWanted(self, attempt);
    if (serviceVersion == 0)
        throw RemoteDesktopKeyboardError(Kind::unavailable, remoteDesktopInterface);

    QVariantMap sessionOptions;
    sessionOptions.insert(QStringLiteral("session_handle_token"), XdgPortalRequest::newToken());
    const QVariantMap created = co_await request(QStringLiteral("CreateSession"), QVariantList(),
                                                 sessionOptions, m_answerLimit);
    // Older portals answer with the handle as a string, newer ones as a path.
    const QVariant handle = created.value(QStringLiteral("session_handle"));
    const QString session = handle.canConvert<QDBusObjectPath>()
                                ? handle.value<QDBusObjectPath>().path()
                                : handle.toString();
    if (session.isEmpty())
        throw RemoteDesktopKeyboardError(Kind::unavailable,
                                         QStringLiteral("CreateSession gave no session"));
    if (!self || attempt != m_closes) {
        closeSessionAt(bus, session);
        ensureStillWanted(self, attempt);
    }
    m_session = session;
    listenForClosing(session);

    // Only the options the portal's version knows: an older portal may
    // refuse the call for one it does not.
    QVariantMap devices;
    devices.insert(QStringLiteral("types"), keyboardDevice);
    if (serviceVersion >= 2) {
        devices.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
        if (!restoreToken.isEmpty())
            devices.insert(QStringLiteral("restore_token"), restoreToken);
    }
    std::optional<RemoteDesktopKeyboardError> failure;
    QVariantMap started;
    try {
        const QVariantList selectArguments{QVariant::fromValue(QDBusObjectPath(session))};
        co_await request(QStringLiteral("SelectDevices"), selectArguments, devices, m_answerLimit);
        ensureStillWanted(self, attempt);
        // No parent window: ours are X11 windows a Wayland desktop cannot
        // place its window over. No limit: the desktop asks the user.
        const QVariantList startArguments{QVariant::fromValue(QDBusObjectPath(session)), QString()};
        started =
            co_await request(QStringLiteral("Start"), startArguments, QVariantMap(), std::nullopt);
        ensureStillWanted(self, attempt);
        if (!(started.value(QStringLiteral("devices")).toUInt() & keyboardDevice))
            throw RemoteDesktopKeyboardError(Kind::refused, QStringLiteral("no keyboard shared"));
    } catch (const RemoteDesktopKeyboardError &error) {
        failure = error;
    }
    if (failure) {
        if (self && attempt == m_closes)
            close();
        throw *failure;
    }
    m_open = true;
    co_return Grant{started.value(QStringLiteral("restore_token")).toString()};
}

QCoro::Task<bool> XdgRemoteDesktopPortal::pressPasteShortcut() {
    return pressPasteKeys(PasteKeys::controlV);
}

QCoro::Task<bool> XdgRemoteDesktopPortal::pressPasteKeys(PasteKeys keys) {
    if (!m_open)
        co_return false;
    // Copies: the releases go out even when this object goes meanwhile.
    QPointer<XdgRemoteDesktopPortal> self(this);
    const QDBusConnection bus = m_bus;
    const QString session = m_session;
    const quint64 attempt = m_closes;
    const int limit = int(m_answerLimit.count());
    const QList<int> keysyms = keysymsOf(keys);
    // A key the portal did not take in time may still be carried out once
    // it recovers: after a failure, or once the session is given up, no
    // further key goes down.
    bool taken = true;
    for (const int keysym : keysyms) {
        if (!isCurrent(self, attempt)) {
            taken = false;
            break;
        }
        taken = co_await notifyKeysym(bus, session, keysym, true, limit);
        if (!taken)
            break;
    }
    for (qsizetype index = keysyms.size() - 1; taken && index >= 0; --index)
        taken = co_await notifyKeysym(bus, session, keysyms[index], false, limit);
    if (!taken)
        releaseWithoutWaiting(bus, session, keysyms);
    co_return taken;
}

void XdgRemoteDesktopPortal::close() {
    endSession(true);
}

void XdgRemoteDesktopPortal::endSession(bool tellPortal) {
    ++m_closes;
    m_open = false;
    const QString session = std::exchange(m_session, QString());
    if (m_closing)
        m_closing.release()->deleteLater();
    if (tellPortal && !session.isEmpty())
        closeSessionAt(m_bus, session);
    // Last: the opening this ends resumes at once, and finds us closed.
    if (m_pending)
        m_pending->abandon();
}

void XdgRemoteDesktopPortal::handleOwnerChange(const QString &, const QString &oldOwner,
                                               const QString &) {
    if (oldOwner.isEmpty())
        return;
    // A portal started again may be another one; its session, if any, is
    // already gone, and telling it so would only start it again.
    m_version.reset();
    const bool wasOpen = m_open;
    endSession(false);
    if (wasOpen && m_onClosed)
        m_onClosed();
}

QCoro::Task<QVariantMap>
XdgRemoteDesktopPortal::request(QString method, QVariantList arguments, QVariantMap options,
                                std::optional<std::chrono::milliseconds> answerLimit) {
    auto pending = std::make_shared<XdgPortalRequest>(m_bus);
    m_pending = pending.get();
    options.insert(QStringLiteral("handle_token"), pending->token());
    QDBusMessage call = QDBusMessage::createMethodCall(
        XdgPortalSignals::service, XdgPortalSignals::desktopPath, remoteDesktopInterface, method);
    call.setArguments(arguments << options);
    std::optional<XdgPortalRequest::Response> response;
    std::optional<RemoteDesktopKeyboardError> failure;
    try {
        response = co_await pending->send(std::move(call), answerLimit);
    } catch (const DesktopGlobalShortcutsError &error) {
        failure = fromRequestError(error);
    }
    if (failure)
        throw *failure;
    switch (response->code) {
    case 0:
        co_return response->results;
    case 1:
        throw RemoteDesktopKeyboardError(Kind::refused, method);
    default:
        // A request ended without the user's choice (GNOME's answer when
        // its session does not start): nobody said no, and the desktop
        // does lend a keyboard.
        throw RemoteDesktopKeyboardError(Kind::closed, method + QStringLiteral(" answered ") +
                                                           QString::number(response->code));
    }
}

bool XdgRemoteDesktopPortal::isCurrent(const QPointer<XdgRemoteDesktopPortal> &self,
                                       quint64 attempt) {
    return self && attempt == self->m_closes;
}

void XdgRemoteDesktopPortal::ensureStillWanted(const QPointer<XdgRemoteDesktopPortal> &self,
                                               quint64 attempt) {
    if (!isCurrent(self, attempt))
        throw RemoteDesktopKeyboardError(Kind::closed);
}

void XdgRemoteDesktopPortal::listenForClosing(const QString &session) {
    m_closing =
        std::make_unique<XdgPortalSignals>(session, "org.freedesktop.portal.Session", m_bus);
    connect(m_closing.get(), &XdgPortalSignals::Closed, this, [this, session] {
        if (session != m_session)
            return;
        const bool wasOpen = m_open;
        // An opening still under way ends with `closed`.
        close();
        if (wasOpen && m_onClosed)
            m_onClosed();
    });
}

} // namespace tovalit
