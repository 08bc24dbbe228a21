#pragma once

#include "state/shell/app_toast_timer.h"
#include "support/sleeper.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tovalit {

class AppToastsHost;

// The main window's toasts: the answer to something just done, shown at
// once for its duration, and the notices of this run (a damaged file set
// aside, a data folder left in place, no keyring), which each get their
// full time on screen, in turn.
//
// Lives on the GUI thread; every member runs there.
class AppToasts {
public:
    // `host` outlives the toasts; `sleeper` times them on the wall clock.
    AppToasts(AppToastsHost &host, Sleeper sleeper);
    AppToasts(const AppToasts &) = delete;
    AppToasts &operator=(const AppToasts &) = delete;

    // In place of whatever the window shows; a notice it cuts short comes
    // back after it.
    void showToast(const QString &message, bool isError, double duration);
    // An error toast for noticeDuration on screen, which waits its turn
    // behind the toast on show.
    void showNotice(const QString &message);
    // A notice no longer true: `replacement`, a confirmation, takes its
    // place on show or in the queue; once it was shown, it comes as a
    // notice of its own, for the user who read the first.
    void reviseNotice(const QString &message, const QString &replacement);
    // A window that draws the toasts came on screen, or left it; each one
    // shown is hidden once, and the next may come before the last goes. A
    // notice's time runs only while one is on screen.
    void surfaceShown();
    void surfaceHidden();
    // The window took the toast down before its time: the next notice has
    // its turn now, not only after some later toast.
    void takenDown();

    // How long a notice stays on screen: longer for a long one.
    static double noticeDurationFor(const QString &message);

private:
    static constexpr double noticeDuration = 5.0;

    struct Notice {
        QString message;
        bool isError = true;
    };

    void present(const QString &message, bool isError, double duration, bool isNotice);
    void presentNotice(const Notice &notice);
    void queueNotice(const Notice &notice);
    void time(const QUuid &id, double duration);
    void timedOut(const QUuid &id);
    bool showsNotice() const;

    AppToastsHost &m_host;
    AppToastTimer m_timer;
    // The notice on show, if the toast is one, and the notices that wait.
    std::optional<QUuid> m_noticeOnShow;
    QList<Notice> m_waitingNotices;
    // The windows on screen that draw the toasts, and whether the toast on
    // show has its time running.
    int m_surfaces = 0;
    bool m_timed = false;
};

} // namespace tovalit
