#pragma once

#include "support/sleeper.h"
#include "support/spawn.h"

#include <QObject>

#include <functional>

namespace tovalit {

// The one timer of the main window's toasts: a new toast's timer replaces
// the running one, so only the newest toast is ever taken down by time.
class AppToastTimer : public QObject {
    Q_OBJECT

public:
    explicit AppToastTimer(Sleeper sleeper, QObject *parent = nullptr);
    ~AppToastTimer() override;
    AppToastTimer(const AppToastTimer &) = delete;
    AppToastTimer &operator=(const AppToastTimer &) = delete;

    // Calls `expire` once `duration` seconds have passed (none when it is
    // negative or not finite), unless started again or cancelled first.
    void start(double duration, std::function<void()> expire);
    void cancel();

private:
    Sleeper m_sleeper;
    TaskHandle m_task;
};

} // namespace tovalit
