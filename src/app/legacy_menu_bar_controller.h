#pragma once

#include "models/recording_state.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tovalit {

// The status item and its menu: open the main window, start or stop
// recording, quit. Knows nothing of the controller: the application hands
// it its callbacks and pushes the recording state into it. The menu is
// built whether or not the desktop has a tray to show the icon in (the
// main window then offers it). GUI thread only.
class LegacyMenuBarController : public QObject {
    Q_OBJECT

public:
    // The process-wide instance, made on first use with nothing installed.
    static LegacyMenuBarController &shared();

    explicit LegacyMenuBarController(QObject *parent = nullptr);
    ~LegacyMenuBarController() override;

    // Installs the status item and its menu; does nothing when one exists.
    void startIfNeeded();
    // Takes the status item down and forgets its items; the callbacks stay.
    void removeStatusItem();
    // The icon and the start/stop item for `recordingState`; the item is
    // usable when `canToggle` and nothing is being processed. Does nothing
    // without a status item.
    void update(const RecordingState &recordingState, bool canToggle);

    // The menu actions.
    void handleOpenMainWindow();
    void handleToggleRecording();
    void handleQuit();

    std::function<void()> onOpenMainWindow;
    std::function<void()> onToggleRecording;
    // Asked before every toggle.
    std::function<bool()> canToggleRecording;
    // How the application terminates; without it the event loop ends at
    // once.
    std::function<void()> onQuit;

    // Null before startIfNeeded() and after removeStatusItem().
    QSystemTrayIcon *statusItem() const { return m_statusItem.get(); }
    QMenu *menu() const { return m_menu.get(); }
    QAction *toggleRecordingItem() const { return m_toggleRecordingItem; }
    QAction *openMainWindowItem() const { return m_openMainWindowItem; }
    // The symbol the icon shows ("mic.circle" …); empty without an item.
    QString statusSymbolName() const { return m_statusSymbolName; }

    static constexpr const char *idleSymbol = "mic.circle";
    static constexpr const char *recordingSymbol = "waveform.circle.fill";
    static constexpr const char *processingSymbol = "sparkles.rectangle.stack.fill";

private:
    void setStatusSymbol(const QString &name);

    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<QMenu> m_menu;
    QPointer<QAction> m_toggleRecordingItem;
    QPointer<QAction> m_openMainWindowItem;
    QString m_statusSymbolName;
};

} // namespace tovalit
