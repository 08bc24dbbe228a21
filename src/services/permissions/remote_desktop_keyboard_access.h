#pragma once

#include "platform/paste_keys.h"
#include "services/security/keychain_store.h"
#include "support/cancel_token.h"
#include "support/sleeper.h"

#include <QFuture>
#include <QObject>
#include <QPromise>
#include <qcoro/qcorotask.h>

#include <memory>

namespace tovalit {

class AppConfigurationStore;
class RemoteDesktopKeyboard;
class SecretStore;

// The keyboard the desktop lends through its remote-desktop service, and
// the user's answer to lending it: in a Wayland session, the counterpart of
// the permission to press keys in other applications, which a paste into a
// native Wayland window needs. One session serves the whole run. A grant
// the desktop lets us keep (its restore token, a credential kept in the
// desktop's keyring, or in memory for the run where there is none) opens
// the next session without asking; a refusal is kept with the settings,
// so nothing asks again until the user does, from the permission step.
// The wait for the user's answer is bounded. GUI thread only.
class RemoteDesktopKeyboardAccess : public QObject {
    Q_OBJECT

public:
    enum class State {
        // Not asked in this run, asked without a yes or a no (a request
        // the desktop ended, a portal late or gone), or its session has
        // ended.
        notRequested,
        // The desktop's window is asking the user.
        requesting,
        granted,
        refused,
        // The desktop has no remote-desktop service, or one that lends no
        // keyboard: final for the run.
        unavailable,
    };
    Q_ENUM(State)

    // What a paste may do with the keyboard.
    enum class Readiness {
        none,
        // Open before the paste was asked for.
        open,
        // Opened while the paste waited: the desktop's window may have
        // taken the keyboard focus meanwhile.
        openedNow,
    };

    // Where the restore token is kept in the keyring.
    static inline const QString keyringService =
        QStringLiteral("cn.pellastrim.tovalit.remote-desktop");
    static inline const QString keyringAccount = QStringLiteral("remote-desktop.restore-token");

    // `store` must outlive the access, or abandon() come first; the
    // restore token goes to `secrets`, and the wait for the user's answer
    // through `sleeper`. Moves a token the settings file held into the
    // keyring, and starts finding out whether the desktop lends a keyboard
    // at all.
    RemoteDesktopKeyboardAccess(AppConfigurationStore &store,
                                std::shared_ptr<RemoteDesktopKeyboard> keyboard,
                                std::shared_ptr<SecretStore> secrets,
                                Sleeper sleeper = systemSleeper(), QObject *parent = nullptr);
    ~RemoteDesktopKeyboardAccess() override;

    State state() const { return m_state; }
    // Whether a paste may use the keyboard now, without asking anybody.
    bool isLent() const;

    // Asks the desktop unless the keyboard is open or being asked for, the
    // user turned it down, or the desktop lends none. Returns at once; the
    // state follows.
    void requestIfNeeded();
    // The user's own request: after a refusal as well.
    void request();
    // For a paste: the open keyboard; else, while the desktop is asking or
    // nothing has asked yet in this run, its answer (asking now when
    // needed), if it comes within deliveryWaitLimit.
    QCoro::Task<Readiness> keyboardForDelivery();
    // Ctrl+V on the lent keyboard; false without one. Keys the desktop
    // did not take end the grant: the session is closed, and the next
    // recording asks again.
    QCoro::Task<bool> pressPasteShortcut();
    // The same for `keys`.
    QCoro::Task<bool> pressPasteKeys(PasteKeys keys);
    // The owner goes, and the settings with it, while a delivery under way
    // may still hold the access: the session or the asking ends, and from
    // now on nothing is asked, lent or stored.
    void abandon();

    // How long the desktop's window may wait for the user before it is
    // closed, and how long of that a paste waits: the text should not hang
    // on a window the user leaves alone, which may still be answered for
    // the next one.
    static constexpr double consentLimit = 60.0;
    static constexpr double deliveryWaitLimit = 15.0;

Q_SIGNALS:
    void stateChanged(tovalit::RemoteDesktopKeyboardAccess::State state);

private:
    // Asks the desktop, or joins the asking under way; the future finishes
    // with the answer.
    QFuture<void> ask();
    QCoro::Task<void> askDesktop(std::shared_ptr<QPromise<void>> answered);
    struct DesktopAnswer;
    // The desktop's version, then the grant or why none came; left
    // unfinished once the access is abandoned.
    QCoro::Task<DesktopAnswer> desktopAnswer();
    // Asks for the keyboard, closing the desktop's window when the user
    // leaves it past consentLimit.
    QCoro::Task<DesktopAnswer> openKeyboard(uint version, QString restoreToken);
    // Keeps what the answer grants or refuses, and says it in the state.
    void takeAnswer(const DesktopAnswer &answer);
    QCoro::Task<void> learnWhetherOffered();
    // The kept token, gone from the keyring: it is good for one opening,
    // whatever its answer. Empty when none is kept or it cannot be read.
    QCoro::Task<QString> takeRestoreToken();
    // Keeps `token` for the next opening; catches what it meets.
    QCoro::Task<void> keepRestoreToken(QString token);
    void setState(State state);

    AppConfigurationStore &m_store;
    std::shared_ptr<RemoteDesktopKeyboard> m_keyboard;
    KeychainStore m_secrets;
    Sleeper m_sleeper;
    State m_state;
    // Counts grants: a paste that failed gives up only the grant it used.
    quint64 m_grants = 0;
    std::shared_ptr<QPromise<void>> m_asking;
    // Ends the bound on the current wait for the user.
    CancelToken m_answered;
    // Cancelled first thing in the destructor: an asking that resumes
    // then leaves the object alone.
    CancelToken m_lifetime;
};

} // namespace tovalit
