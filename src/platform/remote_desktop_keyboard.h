#pragma once

#include "platform/paste_keys.h"
#include "support/app_error.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>

namespace tovalit {

// Why the desktop lent no keyboard; the text is for the diagnostics log.
class RemoteDesktopKeyboardError : public AppError {
public:
    enum class Kind {
        // The desktop offers no remote-desktop service, or one that lends
        // no keyboard.
        unavailable,
        // The service did not answer a call that needs no user in time.
        noAnswer,
        // The user turned the request down in the desktop's window, or
        // shared no keyboard.
        refused,
        // The session ended before the answer: closed by us or by the
        // desktop (a request it ended without the user's choice, a session
        // it could not open or start, a portal that went away).
        closed,
    };
    explicit RemoteDesktopKeyboardError(Kind kind, QString detail = {});
    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

// A keyboard the desktop lends through its remote-desktop service: the way
// a Wayland desktop lets an application press keys in other applications'
// windows. The desktop asks the user in a window of its own; once they
// agree, the keys we press reach whichever window has the focus, until the
// session ends. One session at a time. GUI thread only.
class RemoteDesktopKeyboard {
public:
    struct Grant {
        // Lets a later run have the keyboard without asking the user
        // again; good for one use. Empty when the desktop keeps no grant.
        QString restoreToken;
    };

    virtual ~RemoteDesktopKeyboard() = default;

    // The version of the desktop's remote-desktop service, 0 when there is
    // none or it lends no keyboard. From version 2 on, a grant can outlive
    // the run. Throws RemoteDesktopKeyboardError `noAnswer` when the
    // service did not answer in time: asked again next time.
    virtual QCoro::Task<uint> version() = 0;
    // Opens a session with a keyboard, closing any open one first. The
    // desktop asks the user unless `restoreToken`, from an earlier grant,
    // lets it restore that grant. Waits as long as the user takes; close()
    // ends the wait. Throws RemoteDesktopKeyboardError.
    virtual QCoro::Task<Grant> open(QString restoreToken) = 0;
    virtual bool isOpen() const = 0;
    // Presses and releases Ctrl+V with no other key of ours down. False
    // when no session is open or the desktop refused a key or did not take
    // it in time; no key goes down after that, and none we pressed is left
    // down either way.
    virtual QCoro::Task<bool> pressPasteShortcut() = 0;
    // The same for `keys`. A keyboard that knows only Ctrl+V presses
    // nothing else: false.
    virtual QCoro::Task<bool> pressPasteKeys(PasteKeys keys) {
        if (keys != PasteKeys::controlV)
            return refusedKeys();
        return pressPasteShortcut();
    }
    // Ends the session, or the wait for one. Harmless when there is none.
    virtual void close() = 0;
    // `handler` runs when the desktop ends an open session on its own (the
    // user stopped it from the desktop's indicator, say, or its service
    // went away).
    virtual void setOnClosed(std::function<void()> handler) = 0;

private:
    static QCoro::Task<bool> refusedKeys() { co_return false; }
};

} // namespace tovalit
