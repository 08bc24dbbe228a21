#include "platform/linux/linux_permission_probe.h"

#include "platform/linux/evdev_keyboard.h"
#include "platform/linux/pulse_audio_input.h"
#include "platform/linux/xcb_connection.h"
#include "platform/linux/xtest_escape_key_sender.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

namespace tovalit {

namespace {

constexpr int busTimeoutMilliseconds = 1000;

const QString busInterface = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString statusInterface = QStringLiteral("org.a11y.Status");

// Whether the accessibility bus exists (its launcher answers with an
// address); nothing when it does not.
bool accessibilityBusAnswers(QDBusConnection &session, const QString &busService) {
    const QDBusMessage reply =
        session.call(QDBusMessage::createMethodCall(busService, busPath, busInterface,
                                                    QStringLiteral("GetAddress")),
                     QDBus::Block, busTimeoutMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           !reply.arguments().first().toString().isEmpty();
}

bool accessibilityEnabled(QDBusConnection &session, const QString &busService) {
    QDBusMessage request = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface,
                                                          QStringLiteral("GetAll"));
    request << statusInterface;
    const QDBusMessage reply = session.call(request, QDBus::Block, busTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    QVariantMap flags;
    qvariant_cast<QDBusArgument>(reply.arguments().first()) >> flags;
    return flags.value(QStringLiteral("IsEnabled")).toBool() ||
           flags.value(QStringLiteral("ScreenReaderEnabled")).toBool();
}

void enableAccessibility(QDBusConnection &session, const QString &busService) {
    QDBusMessage request = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface,
                                                          QStringLiteral("Set"));
    request << statusInterface << QStringLiteral("IsEnabled")
            << QVariant::fromValue(QDBusVariant(true));
    session.call(request, QDBus::Block, busTimeoutMilliseconds);
}

} // namespace

LinuxPermissionProbe::LinuxPermissionProbe()
    : LinuxPermissionProbe(std::make_shared<PulseAudioInput>(), QStringLiteral("/dev/input")) {}

LinuxPermissionProbe::LinuxPermissionProbe(std::shared_ptr<AudioInput> audioInput,
                                           QString inputDeviceDirectory,
                                           QString accessibilityBusService)
    : m_audioInput(std::move(audioInput))
    , m_inputDeviceDirectory(std::move(inputDeviceDirectory))
    , m_busService(std::move(accessibilityBusService)) {}

LinuxPermissionProbe::~LinuxPermissionProbe() = default;

MicrophoneAuthorizationStatus LinuxPermissionProbe::microphoneAuthorizationStatus() {
    return m_audioInput->hasDefaultInputDevice() ? MicrophoneAuthorizationStatus::authorized
                                                 : MicrophoneAuthorizationStatus::unavailable;
}

void LinuxPermissionProbe::requestMicrophoneAccess(std::function<void(bool granted)> completion) {
    // Nothing to ask: the answer is whether there is an input.
    completion(microphoneAuthorizationStatus() == MicrophoneAuthorizationStatus::authorized);
}

bool LinuxPermissionProbe::preflightListenEventAccess() {
    return EvdevKeyboard::anyReadable(m_inputDeviceDirectory);
}

void LinuxPermissionProbe::requestListenEventAccess() {
    // Reading /dev/input is granted by the administrator (the "input"
    // group or a udev rule); no desktop has a prompt for it.
}

bool LinuxPermissionProbe::isProcessTrusted(bool prompt) {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected() || !accessibilityBusAnswers(session, m_busService))
        return false;
    bool enabled = accessibilityEnabled(session, m_busService);
    if (!enabled && prompt) {
        enableAccessibility(session, m_busService);
        enabled = accessibilityEnabled(session, m_busService);
    }
    return enabled && hasSyntheticInput();
}

bool LinuxPermissionProbe::hasSyntheticInput() {
    std::lock_guard lock(m_mutex);
    if (!m_x || xcb_connection_has_error(m_x->connection()))
        m_x = XcbConnection::open();
    return m_x && XTestEscapeKeySender::isAvailable(*m_x);
}

} // namespace tovalit
