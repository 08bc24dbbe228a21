#pragma once

#include "platform/global_hot_key.h"

#include <QList>

#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <xcb/xcb.h>

namespace tovalit {

class XcbConnection;

// A key combination grabbed on the X root window, on a connection of our
// own so that our requests and their errors never disturb Qt's. The grab
// is made once per state of the lock modifiers (none, Caps Lock, Num Lock,
// both), since X matches modifiers exactly. Presses are read on a thread
// of ours; auto-repeat, which X reports as release-and-press pairs with
// one timestamp, is folded into the first press.
class X11GlobalHotKey final : public GlobalHotKey {
public:
    X11GlobalHotKey();
    ~X11GlobalHotKey() override;
    X11GlobalHotKey(const X11GlobalHotKey &) = delete;
    X11GlobalHotKey &operator=(const X11GlobalHotKey &) = delete;

    void installHandler(PressHandler handler) override;
    void removeHandler() override;
    void registerHotKey(quint16 virtualKeyCode, quint32 modifiers, Identifier identifier) override;
    void unregisterHotKey(Identifier identifier) override;

private:
    struct Registration {
        Identifier identifier;
        xcb_keycode_t keycode = 0;
        quint16 modifiers = 0;
        // Every modifier combination grabbed, lock variants included.
        QList<quint16> grabbed;
        bool isHeld = false;
    };

    // The connection, opened (again) when there is none or it broke.
    xcb_connection_t *connection();
    void ungrab(xcb_keycode_t keycode, const QList<quint16> &modifierSets);
    void stopReader();
    void readEvents();
    void handleKeyPress(const xcb_key_press_event_t &event);
    void handleKeyRelease(const xcb_key_release_event_t &event);

    std::shared_ptr<XcbConnection> m_x;
    int m_wakeDescriptor = -1;
    std::thread m_reader;

    std::mutex m_mutex; // guards the two below
    PressHandler m_handler;
    std::optional<Registration> m_registration;
};

} // namespace tovalit
