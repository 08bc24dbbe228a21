#include "tests/support/session_keyboard.h"

#include "platform/linux/xdg_portal_request.h"
#include "tests/support/run_task.h"
#include "tests/support/test_session.h"

#include <QDBusObjectPath>
#include <QDBusReply>
#include <QUuid>

#include <gtest/gtest.h>

namespace tovalit::testing {

namespace {

using namespace std::chrono_literals;

const QString mutterService = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString portalInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr uint keyboardDevice = 1;

QDBusMessage portalCall(const QString &method, const QVariantList &arguments) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, method);
    call.setArguments(arguments);
    return call;
}

// The answer of a portal request; nothing when it failed or was turned
// down, the reason reported to the test.
std::optional<QVariantMap> portalAnswer(QDBusConnection bus, const QString &method,
                                        QVariantList arguments, QVariantMap options) {
    XdgPortalRequest request(bus);
    options.insert(QStringLiteral("handle_token"), request.token());
    arguments.append(options);
    try {
        const XdgPortalRequest::Response response =
            runTask(request.send(portalCall(method, arguments), 20000ms), 30000ms);
        if (response.code == 0)
            return response.results;
        ADD_FAILURE() << "the portal answered " << method.toStdString() << " with "
                      << response.code;
    } catch (const std::exception &error) {
        ADD_FAILURE() << "the portal's " << method.toStdString() << " failed: " << error.what();
    }
    return std::nullopt;
}

} // namespace

SessionKeyboard::SessionKeyboard()
    : m_connectionName(QStringLiteral("session-keyboard-") +
                       QUuid::createUuid().toString(QUuid::Id128))
    , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName)) {}

SessionKeyboard::~SessionKeyboard() {
    if (!m_session.isEmpty()) {
        const QDBusMessage stop =
            m_compositorSession
                ? QDBusMessage::createMethodCall(mutterService, m_session,
                                                 mutterService + QStringLiteral(".Session"),
                                                 QStringLiteral("Stop"))
                : QDBusMessage::createMethodCall(portalService, m_session,
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close"));
        m_bus.call(stop, QDBus::Block, 5000);
    }
    // Either session also ends with the connection it was opened on.
    QDBusConnection::disconnectFromBus(m_connectionName);
}

std::unique_ptr<SessionKeyboard> SessionKeyboard::open() {
    std::unique_ptr<SessionKeyboard> keyboard(new SessionKeyboard);
    if (!keyboard->m_bus.isConnected()) {
        ADD_FAILURE() << "no session bus for the keyboard";
        return nullptr;
    }
    const bool opened =
        onDesktop("GNOME") ? keyboard->openCompositorSession() : keyboard->openPortalSession();
    return opened ? std::move(keyboard) : nullptr;
}

bool SessionKeyboard::openCompositorSession() {
    m_compositorSession = true;
    const QDBusReply<QDBusObjectPath> created =
        m_bus.call(QDBusMessage::createMethodCall(mutterService,
                                                  QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                                  mutterService, QStringLiteral("CreateSession")),
                   QDBus::Block, 10000);
    if (!created.isValid()) {
        ADD_FAILURE() << "the compositor opened no session: "
                      << created.error().message().toStdString();
        return false;
    }
    m_session = created.value().path();
    const QDBusReply<void> started =
        m_bus.call(QDBusMessage::createMethodCall(mutterService, m_session,
                                                  mutterService + QStringLiteral(".Session"),
                                                  QStringLiteral("Start")),
                   QDBus::Block, 10000);
    if (!started.isValid()) {
        ADD_FAILURE() << "the compositor's session did not start: "
                      << started.error().message().toStdString();
        return false;
    }
    return true;
}

bool SessionKeyboard::openPortalSession() {
    QVariantMap sessionOptions;
    sessionOptions.insert(QStringLiteral("session_handle_token"), XdgPortalRequest::newToken());
    const std::optional<QVariantMap> created =
        portalAnswer(m_bus, QStringLiteral("CreateSession"), {}, sessionOptions);
    if (!created)
        return false;
    const QVariant handle = created->value(QStringLiteral("session_handle"));
    m_session = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                     : handle.toString();
    const QVariant session = QVariant::fromValue(QDBusObjectPath(m_session));
    QVariantMap devices;
    devices.insert(QStringLiteral("types"), keyboardDevice);
    if (!portalAnswer(m_bus, QStringLiteral("SelectDevices"), {session}, devices))
        return false;
    const std::optional<QVariantMap> started =
        portalAnswer(m_bus, QStringLiteral("Start"), {session, QString()}, {});
    if (!started)
        return false;
    if (!(started->value(QStringLiteral("devices")).toUInt() & keyboardDevice)) {
        ADD_FAILURE() << "the portal lent no keyboard";
        return false;
    }
    return true;
}

bool SessionKeyboard::notify(int keysym, bool pressed) {
    QDBusMessage call;
    if (m_compositorSession) {
        call = QDBusMessage::createMethodCall(mutterService, m_session,
                                              mutterService + QStringLiteral(".Session"),
                                              QStringLiteral("NotifyKeyboardKeysym"));
        call.setArguments({uint(keysym), pressed});
    } else {
        call = portalCall(QStringLiteral("NotifyKeyboardKeysym"),
                          {QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap(), keysym,
                           uint(pressed ? 1 : 0)});
    }
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        ADD_FAILURE() << "the key " << keysym
                      << " was not taken: " << reply.errorMessage().toStdString();
        return false;
    }
    return true;
}

bool SessionKeyboard::type(const QString &text) {
    for (const QChar character : text) {
        if (character.unicode() < 0x20 || character.unicode() > 0x7e) {
            ADD_FAILURE() << "only printable ASCII is typed";
            return false;
        }
        if (!press({int(character.unicode())}))
            return false;
    }
    return true;
}

bool SessionKeyboard::press(const QList<int> &chord) {
    bool taken = true;
    qsizetype pressed = 0;
    for (; taken && pressed < chord.size(); ++pressed)
        taken = notify(chord[pressed], true);
    for (qsizetype index = pressed - 1; index >= 0; --index)
        taken = notify(chord[index], false) && taken;
    return taken;
}

} // namespace tovalit::testing
