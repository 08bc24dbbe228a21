#pragma once

#include <QObject>

#include <functional>

namespace tovalit {

// Whether the desktop shows a tray for the status icon, followed as it
// changes: a tray host may come up after Tovalit (a panel restarting, an
// extension switched on) or go away. GUI thread only.
class SystemTrayAvailability : public QObject {
    Q_OBJECT

public:
    using Probe = std::function<bool()>;

    // `probe` answers the question; by default the desktop is asked.
    explicit SystemTrayAvailability(Probe probe = {}, QObject *parent = nullptr);

    bool isAvailable() const { return m_available; }
    // Asks again and announces a change.
    void refresh();

Q_SIGNALS:
    void availabilityChanged(bool available);

private:
    void followTheDesktop();

    Probe m_probe;
    bool m_available = false;
};

} // namespace tovalit
