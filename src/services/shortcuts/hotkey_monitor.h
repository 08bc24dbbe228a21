#pragma once

#include "models/shortcut_activation_state.h"
#include "models/shortcut_configuration.h"
#include "models/shortcut_route.h"
#include "platform/desktop_global_shortcuts.h"
#include "platform/global_hot_key.h"
#include "services/shortcuts/held_shortcut_filter.h"
#include "support/clock.h"
#include "support/sleeper.h"

#include <QObject>
#include <QPointer>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

namespace tovalit {

class DelayScheduler;
class DesktopKeybinding;
class FunctionKeyEventTapHost;
class FunctionKeySource;
class FunctionKeySystemSettings;
class PermissionProbe;

// Turns the recording shortcut into one trigger per press, delivered on the
// GUI thread wherever the keyboard focus is: a key combination through the
// global hot-key service, the bare Fn key through a keyboard tap of its
// own. In a Wayland session a grab through the X server would fire only
// while one of XWayland's windows has the focus, so there the combination
// goes to the desktop's global-shortcuts service, or, where the desktop
// has none, to the desktop's keyboard settings: to a custom shortcut of
// our own there when the user lets us write one, else to the user, who
// binds our recording command there. Every start reports whether the
// shortcut works, with the text to show, and which way it takes. Lives on
// the GUI thread.
class HotkeyMonitor : public QObject {
    Q_OBJECT

public:
    struct Dependencies {
        std::shared_ptr<GlobalHotKey> globalHotKey;
        std::function<std::shared_ptr<FunctionKeySource>()> makeFunctionKeySource;
        std::shared_ptr<PermissionProbe> permissions;
        std::shared_ptr<FunctionKeySystemSettings> functionKeySystemSettings;
        // A scheduler for each Fn tap, for its delayed trigger.
        std::function<std::shared_ptr<DelayScheduler>()> makeDelayScheduler;
        // Seconds on the clock the keyboard's event times use.
        MonotonicClock uptime;
        Sleeper sleeper;
        // The desktop's own global shortcuts, for Wayland sessions.
        std::shared_ptr<DesktopGlobalShortcuts> desktopShortcuts;
        bool isWaylandSession = false;
        // What runs the desktop entry's recording action, for the user to
        // bind where the desktop holds no shortcuts for applications.
        QString recordingActionCommand;
        // Our own custom shortcut in the desktop's keyboard settings, where
        // the desktop has such settings (GNOME); null elsewhere.
        std::shared_ptr<DesktopKeybinding> desktopKeybinding;
        // The desktop's keyboard settings, for how it repeats held keys;
        // null where it has none we read.
        std::shared_ptr<DesktopKeyboardSettings> keyboardSettings;

        // X11 hot keys, evdev for Fn, the desktop portal's global
        // shortcuts in Wayland sessions, GNOME's keyboard settings on
        // GNOME, the desktop's permissions and the defaults stand-in.
        static Dependencies linuxDefaults();
    };

    // No callbacks, the Fn configuration, nothing installed.
    explicit HotkeyMonitor(QObject *parent = nullptr);
    explicit HotkeyMonitor(Dependencies dependencies, QObject *parent = nullptr);
    // Lets go of whatever is installed.
    ~HotkeyMonitor() override;

    // Once per recognised press, on the GUI thread.
    void setOnTrigger(std::function<void()> onTrigger);
    // The state after each start(), synchronously; in a Wayland session
    // again whenever the desktop tells what it bound.
    void setOnActivationStateChange(
        std::function<void(const ShortcutActivationState &state)> onActivationStateChange);
    // The way the shortcut takes, just before each state that changes it.
    void setOnRouteChange(std::function<void(const ShortcutRoute &route)> onRouteChange);
    ShortcutRoute route() const { return m_route; }

    // The configuration of the last start(); the Fn key before any.
    ShortcutConfiguration currentConfiguration() const { return m_currentConfiguration; }

    // (Re)installs the shortcut and reports its state. Afterwards exactly
    // one of a hot key with its handler, a running Fn tap, a session with
    // the desktop (being) asked for the combination, or nothing (after any
    // failure, or while the desktop's keyboard settings hold it) is
    // installed. Asked again for the combination the desktop already
    // holds, it keeps that session, so the user is not asked twice, and
    // reports again. Our custom shortcut in the desktop's keyboard
    // settings, once the user has let us write it, follows every change of
    // combination, and goes with the Fn key.
    void start(const ShortcutConfiguration &configuration);
    // Returns to nothing installed; reports nothing.
    void stop();
    // Returns once the shortcut's keys are most likely up, so that
    // synthetic keystrokes do not mix with them: 80 ms for a combination;
    // for Fn, polls every 10 ms while it is held (at most 50 times), then
    // 50 ms more.
    QCoro::Task<void> waitUntilShortcutReleaseSettles();

    // Whether a run of the recording command (the desktop entry's action,
    // which the desktop starts for a shortcut of its keyboard settings) is
    // a new press of that shortcut: the desktop runs it again at each
    // repeat of held keys, and says nothing when they go up.
    // `secondsSinceLaunch`: how long ago the launch that brought it began,
    // where it said.
    bool isNewPressOfRecordingCommand(std::optional<double> secondsSinceLaunch);

    // The identity the combination is registered under.
    static constexpr GlobalHotKey::Identifier hotKeyIdentifier{fourCharacterCode("KWVH"), 1};
    // The identity of the combination the desktop holds for us.
    static inline const QString desktopShortcutId = QStringLiteral("toggle-recording");

private:
    // Each start() and stop() ends whatever the one before began.
    void beginInstallation();
    void keepDesktopKeybindingInStep(const ShortcutConfiguration &configuration);
    bool keepsDesktopShortcut(const ShortcutConfiguration &configuration) const;
    void startDesktopShortcut(const ShortcutConfiguration &configuration);
    static QCoro::Task<void> bindDesktopShortcut(QPointer<HotkeyMonitor> monitor,
                                                 std::shared_ptr<DesktopGlobalShortcuts> desktop,
                                                 quint64 installation,
                                                 DesktopShortcutRequest request);
    void handleDesktopEvent(const DesktopGlobalShortcuts::Event &event);
    void applyDesktopShortcuts(const QList<DesktopShortcut> &shortcuts);
    // The desktop holds no shortcuts for us: its keyboard settings do, ours
    // or the user's.
    void useDesktopAction();
    bool desktopKeybindingHoldsKeys() const;
    void handleDesktopKeybindingChange();
    void publish(const ShortcutRoute &route, const ShortcutActivationState &state);
    bool hasInputMonitoringAccess();
    void requestInputMonitoringAccessPrompt();
    void publishActivationState(const ShortcutActivationState &state);
    bool registerHotKey(const ShortcutConfiguration &configuration);
    KeyRepeat keyRepeat() const;
    // Whether a press the desktop reported by `road` starts or stops
    // anything: its repeats do not.
    static bool isNewPress(HeldShortcutFilter::Press press, const QString &road);
    void deliverTrigger();

    Dependencies m_dependencies;
    std::function<void()> m_onTrigger;
    std::function<void(const ShortcutActivationState &)> m_onActivationStateChange;
    std::function<void(const ShortcutRoute &)> m_onRouteChange;
    ShortcutConfiguration m_currentConfiguration;
    ShortcutRoute m_route;
    ShortcutActivationState m_lastState;
    quint64 m_installation = 0;
    bool m_hasStarted = false;
    bool m_isDesktopHandlerInstalled = false;
    // The desktop session holding the combination, once it is open.
    QString m_desktopSession;
    bool m_isHotKeyRegistered = false;
    bool m_isHotKeyHandlerInstalled = false;
    std::unique_ptr<FunctionKeyEventTapHost> m_functionEventTapHost;
    // The presses of the combination the desktop's service holds, and of
    // whatever runs the recording command.
    HeldShortcutFilter m_desktopShortcutPresses;
    HeldShortcutFilter m_recordingCommandPresses;
};

} // namespace tovalit
