#pragma once

#include "platform/application_keyboard.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QKeyEvent;

namespace tovalit {

class FunctionKeySource;

// The application's own key events, seen by an event filter on the
// application before any widget or shortcut sees them. Qt reports no key
// for a bare Fn, so while a monitor is installed the Fn key's flag changes
// come from a keyboard tap instead, and are handed on only while one of
// our windows is active.
class QtApplicationKeyboard final : public QObject, public ApplicationKeyboard {
    Q_OBJECT

public:
    using FunctionKeySourceFactory = std::function<std::shared_ptr<FunctionKeySource>()>;

    // Fn from the keyboards under /dev/input.
    explicit QtApplicationKeyboard(QObject *parent = nullptr);
    // Without a factory Fn is not seen.
    explicit QtApplicationKeyboard(FunctionKeySourceFactory makeFunctionKeySource,
                                   QObject *parent = nullptr);
    ~QtApplicationKeyboard() override;

    MonitorToken addLocalMonitor(Monitor monitor) override;
    void removeMonitor(MonitorToken token) override;
    void beep() override;

    // A key press, or a modifier key's press or release, as a monitor
    // sees it; nothing for other events.
    static std::optional<LocalKeyEvent> translate(const QKeyEvent &event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Whether a monitor swallowed the event.
    bool dispatch(const LocalKeyEvent &event);
    void startFunctionKeys();
    void stopFunctionKeys();

    QList<std::pair<MonitorToken, Monitor>> m_monitors;
    MonitorToken m_nextToken = 1;
    FunctionKeySourceFactory m_makeFunctionKeySource;
    std::shared_ptr<FunctionKeySource> m_functionKeys;
};

} // namespace tovalit
