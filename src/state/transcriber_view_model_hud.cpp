// The toasts of the main window.

#include "state/transcriber_view_model.h"

#include <QPointer>

#include <cmath>

namespace tovalit {

void TranscriberViewModel::showAppToast(const QString &message, bool isError, double duration) {
    m_appToastTask.cancel();
    const AppToastState toast{QUuid::createUuid(), message, isError};
    setAppToast(toast);
    const double wait = std::isfinite(duration) ? std::max(duration, 0.0) : 0.0;
    QPointer<TranscriberViewModel> self(this);
    m_appToastTask = spawnCancellable(
        this,
        [self, sleeper = m_toastSleeper, toast, wait](CancelToken token) -> QCoro::Task<void> {
            co_await sleeper(wait, token);
            if (token.isCancelled() || !self)
                co_return;
            // Only the toast this timer was made for; a newer one, or none,
            // is left alone.
            if (self->m_appToast && self->m_appToast->id == toast.id) {
                self->setAppToast(std::nullopt);
                self->m_appToastTask = TaskHandle();
            }
        },
        QStringLiteral("toast timer"));
}

} // namespace tovalit
