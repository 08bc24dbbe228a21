#include "state/shell/app_toast_timer.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

namespace tovalit {

AppToastTimer::AppToastTimer(Sleeper sleeper, QObject *parent)
    : QObject(parent)
    , m_sleeper(std::move(sleeper)) {}

AppToastTimer::~AppToastTimer() {
    m_task.cancel();
}

void AppToastTimer::start(double duration, std::function<void()> expire) {
    m_task.cancel();
    const double wait = std::isfinite(duration) ? std::max(duration, 0.0) : 0.0;
    const QPointer<AppToastTimer> self(this);
    m_task = spawnCancellable(
        this,
        [self, sleeper = m_sleeper, wait,
         expire = std::move(expire)](CancelToken token) -> QCoro::Task<void> {
            co_await sleeper(wait, token);
            if (token.isCancelled() || !self)
                co_return;
            expire();
        },
        QStringLiteral("toast timer"));
}

void AppToastTimer::cancel() {
    m_task.cancel();
}

} // namespace tovalit
