#pragma once

#include <QDBusConnection>
#include <QList>
#include <QString>

#include <memory>

namespace tovalit::testing {

// The keyboard of a Wayland session's compositor, for the user's own keys
// in a native window, which no key sent through the X server reaches:
// GNOME's compositor gives one through its own remote-desktop service,
// KDE's desktop portal lends one without asking. The keys go to whichever
// window has the focus, by key symbol, so the layout does not matter. The
// keyboard goes with the object.
class SessionKeyboard {
public:
    // Nothing when the session gives no keyboard; the failure is reported
    // to the test.
    static std::unique_ptr<SessionKeyboard> open();
    ~SessionKeyboard();
    SessionKeyboard(const SessionKeyboard &) = delete;
    SessionKeyboard &operator=(const SessionKeyboard &) = delete;

    // Types `text`, printable ASCII only, one key after another.
    bool type(const QString &text);
    // Presses the keys of `chord` in turn and releases them the other way
    // round ({XK_Control_L, XK_Home}).
    bool press(const QList<int> &chord);

private:
    SessionKeyboard();
    bool openCompositorSession();
    bool openPortalSession();
    bool notify(int keysym, bool pressed);

    QString m_connectionName;
    QDBusConnection m_bus;
    // The compositor's own session (GNOME), else the portal's.
    bool m_compositorSession = false;
    QString m_session;
};

} // namespace tovalit::testing
