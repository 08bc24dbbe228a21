#pragma once

#include "app/desktop_action.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace tovalit {

// Keeps Tovalit to one process per desktop session, the way desktop
// applications do it on the session bus: the first process owns a
// well-known name (its desktop file's id) and serves the desktop's
// application interface there; a later launch finds the name taken and
// asks that process to come forward instead of starting a second status
// icon, keyboard listener and hot-key grab. GUI thread only.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // The desktop file's id: the name the desktop itself would ask for.
    static QString defaultServiceName();

    explicit SingleInstance(QString serviceName = defaultServiceName(),
                            QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the name. False when another process has it; true also when
    // there is no session bus to share it on.
    bool claim();
    // Asks the process that has the name to come forward, or to carry out
    // `action`, passing on the launcher's startup token and how long ago
    // this process was started; false when it did not answer or refused.
    bool activateRunningInstance(std::optional<DesktopAction> action = std::nullopt);
    // How long before the call in `platformData` its launch was started,
    // as the launch said; none when it did not say, or said nonsense.
    static std::optional<double> secondsSinceLaunch(const QVariantMap &platformData);
    // A launch that waited longer than this for the bus has no say in
    // which press it was.
    static constexpr double longestHeededLaunchAge = 30;

    QString serviceName() const { return m_serviceName; }
    // The object path of the interface, from the name.
    QString objectPath() const;

Q_SIGNALS:
    // Another launch (or the desktop) asks for the application: show and
    // activate its main window.
    void activationRequested(const QVariantMap &platformData);
    // The desktop asks for one of the desktop entry's actions.
    void actionRequested(tovalit::DesktopAction action, const QVariantMap &platformData);

private:
    QString m_serviceName;
    QDBusConnection m_bus;
    bool m_ownsName = false;
};

} // namespace tovalit
