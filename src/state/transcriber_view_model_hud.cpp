// The toasts of the main window.

#include "state/shell/app_toast_timer.h"
#include "state/transcriber_view_model.h"

#include <QPointer>

namespace tovalit {

void TranscriberViewModel::showAppToast(const QString &message, bool isError, double duration) {
    m_toastTimer->cancel();
    const AppToastState toast{QUuid::createUuid(), message, isError};
    setAppToast(toast);
    QPointer<TranscriberViewModel> self(this);
    m_toastTimer->start(duration, [self, id = toast.id] {
        // Only the toast this timer was made for; a newer one, or none, is
        // left alone.
        if (self && self->m_appToast && self->m_appToast->id == id)
            self->setAppToast(std::nullopt);
    });
}

} // namespace tovalit
