#pragma once

#include "models/shortcut_activation_state.h"
#include "models/shortcut_configuration.h"
#include "platform/global_hot_key.h"
#include "support/clock.h"
#include "support/sleeper.h"

#include <QObject>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

namespace tovalit {

class DelayScheduler;
class FunctionKeyEventTapHost;
class FunctionKeySource;
class FunctionKeySystemSettings;
class PermissionProbe;

// Turns the recording shortcut into one trigger per press, delivered on the
// GUI thread wherever the keyboard focus is: a key combination through the
// global hot-key service, the bare Fn key through a keyboard tap of its
// own. Every start reports whether the shortcut works, with the text to
// show. Lives on the GUI thread.
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

        // X11 hot keys, evdev for Fn, the desktop's permissions and the
        // defaults stand-in.
        static Dependencies linuxDefaults();
    };

    // No callbacks, the Fn configuration, nothing installed.
    explicit HotkeyMonitor(QObject *parent = nullptr);
    explicit HotkeyMonitor(Dependencies dependencies, QObject *parent = nullptr);
    // Lets go of whatever is installed.
    ~HotkeyMonitor() override;

    // Once per recognised press, on the GUI thread.
    void setOnTrigger(std::function<void()> onTrigger);
    // The state after each start(), synchronously.
    void setOnActivationStateChange(
        std::function<void(const ShortcutActivationState &state)> onActivationStateChange);

    // The configuration of the last start(); the Fn key before any.
    ShortcutConfiguration currentConfiguration() const { return m_currentConfiguration; }

    // (Re)installs the shortcut and reports its state. Afterwards exactly
    // one of a hot key with its handler, a running Fn tap, or nothing
    // (after any failure) is installed.
    void start(const ShortcutConfiguration &configuration);
    // Returns to nothing installed; reports nothing.
    void stop();
    // Returns once the shortcut's keys are most likely up, so that
    // synthetic keystrokes do not mix with them: 80 ms for a combination;
    // for Fn, polls every 10 ms while it is held (at most 50 times), then
    // 50 ms more.
    QCoro::Task<void> waitUntilShortcutReleaseSettles();

    // The identity the combination is registered under.
    static constexpr GlobalHotKey::Identifier hotKeyIdentifier{fourCharacterCode("KWVH"), 1};

private:
    bool hasInputMonitoringAccess();
    void requestInputMonitoringAccessPrompt();
    void publishActivationState(const ShortcutActivationState &state);
    bool registerHotKey(const ShortcutConfiguration &configuration);
    void deliverTrigger();

    Dependencies m_dependencies;
    std::function<void()> m_onTrigger;
    std::function<void(const ShortcutActivationState &)> m_onActivationStateChange;
    ShortcutConfiguration m_currentConfiguration;
    bool m_isHotKeyRegistered = false;
    bool m_isHotKeyHandlerInstalled = false;
    std::unique_ptr<FunctionKeyEventTapHost> m_functionEventTapHost;
};

} // namespace tovalit
