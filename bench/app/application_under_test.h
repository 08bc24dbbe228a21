#pragma once

// The real executable as the whole-application benchmarks drive it: started
// in the headless session against the gateway stand-in on loopback, with
// folders and settings of its own, and a GTK editor to dictate into.

#include "models/shortcut_configuration.h"
#include "tests/support/gateway_stand_in.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/xdotool.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace tovalit::bench {

// Runs the event loop (the stand-in gateway answers meanwhile) until the
// condition holds or the limit passes.
bool waitFor(const std::function<bool()> &condition, double seconds);
void idleFor(double seconds);

void stopProcess(QProcess &process);

// The first visible window of the process whose name matches; 0 if none.
quint64 windowOf(qint64 pid, const QString &namePattern);
// Asks the window manager to bring the process's first visible window to
// the front, as a click on it would; false when it has none.
bool activateWindowOf(qint64 pid);

// The display, xdotool, espeak-ng, paplay and the accessibility bus, or a
// message on stderr saying what is missing.
bool sessionIsReady();

// The recording shortcut the benchmarks press, as the settings page would
// store it, and the same keys for xdotool.
extern const ShortcutConfiguration shortcut;
extern const QString shortcutKeys;

class ApplicationUnderTest {
public:
    explicit ApplicationUnderTest(QString program);
    ~ApplicationUnderTest();

    // Starts the application and waits for its main window.
    bool start();
    // Starts the GTK editor and brings it to the front.
    bool startEditor();
    bool bringEditorForward();
    // Brings the application's main window to the front.
    bool showMainWindow();
    // Ends the application at once, as a crash or a power loss would:
    // nothing of its own runs. start() then starts it again on the same
    // folders.
    void killAbruptly();

    qint64 pid() const { return m_application.processId(); }
    testing::GatewayStandIn &gateway() { return m_gateway; }
    QString dataFolder() const;
    int historyCount() const;
    // Why the last step that returned false failed.
    const QString &failure() const { return m_failure; }

private:
    bool fail(QString why);

    const QString m_program;
    QTemporaryDir m_folders;
    testing::GatewayStandIn m_gateway;
    QProcess m_application;
    QProcess m_editor;
    QString m_failure;
};

} // namespace tovalit::bench
