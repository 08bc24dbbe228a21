#pragma once

#include <QList>
#include <QObject>

class QWidget;

namespace tovalit {

class LegacyMenuBarController;

// The application's life-cycle hooks: finishing the launch, a request to
// reopen (a click on the status icon; the Dock's on other systems) and
// termination. GUI thread only.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // `menuBar` must outlive the delegate; by default the shared one.
    explicit AppDelegate(LegacyMenuBarController *menuBar = nullptr, QObject *parent = nullptr);

    // Brings the application forward, styles the main window and installs
    // the status item.
    void applicationDidFinishLaunching();
    // Takes the status item down.
    void applicationWillTerminate();
    // Activates the application when nothing of it is visible and styles
    // the windows again; always true, so the usual reopen handling follows.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    // Raises and focuses the application's front window, if it shows one.
    static void activateIgnoringOtherApps();
    // Whether any of the application's windows is on screen.
    static bool hasVisibleWindows();
    // The application's ordinary windows (no menus, tool tips or floating
    // panels), in the order the application keeps them.
    static QList<QWidget *> applicationWindows();

private:
    static void configureEveryWindow();

    LegacyMenuBarController &m_menuBar;
};

} // namespace tovalit
