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
    m_appToastTimed = false;
    const AppToastState toast{QUuid::createUuid(), message, isError};
    m_appNoticeOnShow = isNotice ? std::optional(toast.id) : std::nullopt;
    setAppToast(toast);
    // A notice is what this run must tell the user, who may not see the
    // window for a long while (the onboarding comes first at every start
    // a permission is missing, the window may be closed to the tray): its
    // time starts when a window draws it.
    if (!isNotice || m_appToastSurfaces > 0)
        timeAppToast(toast.id, duration);
}

void TranscriberViewModel::timeAppToast(const QUuid &id, double duration) {
    m_appToastTimed = true;
    QPointer<TranscriberViewModel> self(this);
    m_toastTimer->start(duration, [self, id] {
        if (self)
            self->appToastTimedOut(id);
    });
}

void TranscriberViewModel::appToastSurfaceShown() {
    if (++m_appToastSurfaces > 1)
        return;
    if (m_appToast && m_appNoticeOnShow == m_appToast->id && !m_appToastTimed)
        timeAppToast(m_appToast->id, appNoticeDuration);
}

void TranscriberViewModel::appToastSurfaceHidden() {
    if (m_appToastSurfaces == 0 || --m_appToastSurfaces > 0)
        return;
    // Out of sight before its time was up: it has its whole time again
    // when a window shows it.
    if (m_appToast && m_appNoticeOnShow == m_appToast->id && m_appToastTimed) {
        m_toastTimer->cancel();
        m_appToastTimed = false;
    }
}

void TranscriberViewModel::appToastTimedOut(const QUuid &id) {
    // Only the toast this timer was made for; a newer one, or none, is
    // left alone.
    if (!m_appToast || m_appToast->id != id)
        return;
    m_appToastTimed = false;
    // The next notice takes the toast's place directly, so the window
    // changes it in place rather than letting it go and come back.
    if (!m_waitingAppNotices.isEmpty()) {
        presentAppToast(m_waitingAppNotices.takeFirst(), true, appNoticeDuration, true);
        return;
    }
    setAppToast(std::nullopt);
}

} // namespace tovalit
