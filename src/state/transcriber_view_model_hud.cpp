// The toasts of the main window.

#include "state/shell/app_toast_timer.h"
#include "state/transcriber_view_model.h"

#include <QPointer>

namespace tovalit {

void TranscriberViewModel::showAppToast(const QString &message, bool isError, double duration) {
    // The answer to what the user just did is shown at once; a notice it
    // cuts short has its turn again afterwards.
    if (m_appToast && m_appNoticeOnShow == m_appToast->id)
        m_waitingAppNotices.prepend(m_appToast->message);
    presentAppToast(message, isError, duration, false);
}

void TranscriberViewModel::showAppNotice(const QString &message) {
    // Several notices come together at a start; one replacing the other
    // would leave the user only the last.
    if (m_appToast || !m_waitingAppNotices.isEmpty()) {
        m_waitingAppNotices.append(message);
        return;
    }
    presentAppToast(message, true, appNoticeDuration, true);
}

void TranscriberViewModel::presentAppToast(const QString &message, bool isError, double duration,
                                           bool isNotice) {
    m_toastTimer->cancel();
    const AppToastState toast{QUuid::createUuid(), message, isError};
    m_appNoticeOnShow = isNotice ? std::optional(toast.id) : std::nullopt;
    setAppToast(toast);
    QPointer<TranscriberViewModel> self(this);
    m_toastTimer->start(duration, [self, id = toast.id] {
        if (self)
            self->appToastTimedOut(id);
    });
}

void TranscriberViewModel::appToastTimedOut(const QUuid &id) {
    // Only the toast this timer was made for; a newer one, or none, is
    // left alone.
    if (!m_appToast || m_appToast->id != id)
        return;
    // The next notice takes the toast's place directly, so the window
    // changes it in place rather than letting it go and come back.
    if (!m_waitingAppNotices.isEmpty()) {
        presentAppToast(m_waitingAppNotices.takeFirst(), true, appNoticeDuration, true);
        return;
    }
    setAppToast(std::nullopt);
}

} // namespace tovalit
