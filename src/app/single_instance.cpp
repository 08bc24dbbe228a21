#include "app/single_instance.h"

#include "app/launch_request.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QProcessEnvironment>

namespace tovalit {

namespace {

const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
// Ours among the platform data; a desktop's own call does not carry it.
const QString launchAgeKey = QStringLiteral("tovalit-seconds-since-launch");

// The desktop's application interface. Opening files does not apply to
// Tovalit: that brings the window forward too. An action it does not know
// is refused, so the launch that asked for it can say so.
class ApplicationAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    ApplicationAdaptor(SingleInstance *instance, QDBusConnection bus)
        : QDBusAbstractAdaptor(instance)
        , m_instance(instance)
        , m_bus(std::move(bus)) {}

public Q_SLOTS:
    void Activate(const QVariantMap &platformData) {
        Q_EMIT m_instance->activationRequested(platformData);
    }
    void Open(const QStringList &, const QVariantMap &platformData) {
        Q_EMIT m_instance->activationRequested(platformData);
    }
    void ActivateAction(const QString &name, const QVariantList &, const QVariantMap &platformData,
                        const QDBusMessage &message) {
        const std::optional<DesktopAction> action = desktopActionNamed(name);
        if (!action) {
            message.setDelayedReply(true);
            m_bus.send(message.createErrorReply(
                QDBusError::InvalidArgs, QStringLiteral("Tovalit has no action '%1'").arg(name)));
            return;
        }
        Q_EMIT m_instance->actionRequested(*action, platformData);
    }

private:
    SingleInstance *m_instance;
    QDBusConnection m_bus;
};

// How long a later launch waits for the running process: it may itself
// still be starting up.
constexpr int activationTimeoutMilliseconds = 10000;

} // namespace

QString SingleInstance::defaultServiceName() {
    return QStringLiteral("cn.pellastrim.tovalit");
}

SingleInstance::SingleInstance(QString serviceName, QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_serviceName(std::move(serviceName))
    , m_bus(std::move(bus)) {
    new ApplicationAdaptor(this, m_bus);
}

SingleInstance::~SingleInstance() {
    if (m_ownsName) {
        m_bus.unregisterObject(objectPath());
        m_bus.unregisterService(m_serviceName);
    }
}

QString SingleInstance::objectPath() const {
    QString path = QLatin1Char('/') + m_serviceName;
    path.replace(QLatin1Char('.'), QLatin1Char('/'));
    path.replace(QLatin1Char('-'), QLatin1Char('_'));
    return path;
}

bool SingleInstance::claim() {
    if (!m_bus.isConnected())
        return true;
    // The object first: a launch that finds the name taken calls it at once.
    if (!m_bus.registerObject(objectPath(), this, QDBusConnection::ExportAdaptors))
        return true;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(m_serviceName,
                                           QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_ownsName = true;
        return true;
    }
    m_bus.unregisterObject(objectPath());
    // Taken by another process; any other failure leaves the bus out of it.
    return !(reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceNotRegistered);
}

bool SingleInstance::activateRunningInstance(std::optional<DesktopAction> action) {
    QVariantMap platformData;
    // The launcher's token lets the running process take the focus.
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString startupId = environment.value(QStringLiteral("DESKTOP_STARTUP_ID"));
    if (!startupId.isEmpty())
        platformData.insert(QStringLiteral("desktop-startup-id"), startupId);
    const QString activationToken = environment.value(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    if (!activationToken.isEmpty())
        platformData.insert(QStringLiteral("activation-token"), activationToken);

    // Last: the call goes out right after.
    if (const std::optional<double> age = secondsSinceProcessStart())
        platformData.insert(launchAgeKey, *age);

    QDBusMessage call = QDBusMessage::createMethodCall(
        m_serviceName, objectPath(), applicationInterface,
        action ? QStringLiteral("ActivateAction") : QStringLiteral("Activate"));
    if (action)
        call << desktopActionName(*action) << QVariantList();
    call << platformData;
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, activationTimeoutMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

std::optional<double> SingleInstance::secondsSinceLaunch(const QVariantMap &platformData) {
    const QVariant value = platformData.value(launchAgeKey);
    bool isNumber = false;
    const double seconds = value.toDouble(&isNumber);
    if (!isNumber || !(seconds >= 0 && seconds <= longestHeededLaunchAge))
        return std::nullopt;
    return seconds;
}

} // namespace tovalit

#include "single_instance.moc"
