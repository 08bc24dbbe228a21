#include "state/shell/app_toasts.h"

#include "state/shell/app_toasts_host.h"

namespace tovalit {

AppToasts::AppToasts(AppToastsHost &host, Sleeper sleeper)
    : m_host(host)
    , m_timer(std::move(sleeper)) {}

void AppToasts::showToast(const QString &message, bool isError, double duration) {
    if (showsNotice())
        m_waitingNotices.prepend(Notice{m_host.appToast()->message, m_host.appToast()->isError});
    present(message, isError, duration, false);
}

void AppToasts::showNotice(const QString &message) {
    queueNotice(Notice{message, true});
}

void AppToasts::reviseNotice(const QString &message, const QString &replacement) {
    const Notice revised{replacement, false};
    if (showsNotice() && m_host.appToast()->message == message) {
        presentNotice(revised);
        return;
    }
    for (Notice &waiting : m_waitingNotices) {
        if (waiting.message == message) {
            waiting = revised;
            return;
        }
    }
    queueNotice(revised);
}

void AppToasts::queueNotice(const Notice &notice) {
    // Several notices come together at a start; one replacing the other
    // would leave the user only the last.
    if (m_host.appToast() || !m_waitingNotices.isEmpty()) {
        m_waitingNotices.append(notice);
        return;
    }
    presentNotice(notice);
}

void AppToasts::presentNotice(const Notice &notice) {
    present(notice.message, notice.isError, noticeDurationFor(notice.message), true);
}

double AppToasts::noticeDurationFor(const QString &message) {
    // A short notice is read in five seconds; a long one (a copy's whole
    // file name, a reason) gets a second more for every dozen characters.
    const qsizetype beyond = qMax<qsizetype>(0, message.size() - 48);
    return qMin(noticeDuration + double(beyond) / 12.0, 12.0);
}

void AppToasts::surfaceShown() {
    if (++m_surfaces > 1)
        return;
    if (showsNotice() && !m_timed)
        time(m_host.appToast()->id, noticeDurationFor(m_host.appToast()->message));
}

void AppToasts::surfaceHidden() {
    if (m_surfaces == 0 || --m_surfaces > 0)
        return;
    // Out of sight before its time was up: it has its whole time again
    // when a window shows it.
    if (showsNotice() && m_timed) {
        m_timer.cancel();
        m_timed = false;
    }
}

void AppToasts::takenDown() {
    if (!m_host.appToast() && !m_waitingNotices.isEmpty())
        presentNotice(m_waitingNotices.takeFirst());
}

void AppToasts::present(const QString &message, bool isError, double duration, bool isNotice) {
    m_timer.cancel();
    m_timed = false;
    const AppToastState toast{QUuid::createUuid(), message, isError};
    m_noticeOnShow = isNotice ? std::optional(toast.id) : std::nullopt;
    m_host.publishAppToast(toast);
    // A notice is what this run must tell the user, who may not see the
    // window for a long while (the onboarding comes first at every start
    // a permission is missing, the window may be closed to the tray): its
    // time starts when a window draws it.
    if (!isNotice || m_surfaces > 0)
        time(toast.id, duration);
}

void AppToasts::time(const QUuid &id, double duration) {
    m_timed = true;
    // The timer is ours and ends its wait with us.
    m_timer.start(duration, [this, id] { timedOut(id); });
}

void AppToasts::timedOut(const QUuid &id) {
    // Only the toast this timer was made for; a newer one, or none, is
    // left alone.
    const std::optional<AppToastState> shown = m_host.appToast();
    if (!shown || shown->id != id)
        return;
    m_timed = false;
    // The next notice takes the toast's place directly, so the window
    // changes it in place rather than letting it go and come back.
    if (!m_waitingNotices.isEmpty()) {
        presentNotice(m_waitingNotices.takeFirst());
        return;
    }
    m_host.publishAppToast(std::nullopt);
}

bool AppToasts::showsNotice() const {
    const std::optional<AppToastState> shown = m_host.appToast();
    return shown && m_noticeOnShow == shown->id;
}

} // namespace tovalit
