#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

namespace tovalit {

// The clipboard of a Wayland session as its native applications paste
// from it, set through the compositor's data-control protocol
// (zwlr_data_control_manager_v1, offered by KDE Plasma and wlroots
// desktops). Our windows go through XWayland, and these compositors take
// an X client's clipboard into the session only while an X window has the
// focus; with a native window in front, a copy made through the X server
// never reaches the window the user pastes into. Data control needs no
// focus.
//
// A connection of our own to the compositor, served by a thread of its
// own that hands our text to whoever pastes it for as long as it is the
// clipboard. Any thread may call in; calls are serialised.
class WaylandDataControlSelection {
public:
    // One form of the clipboard's content: a MIME type and its bytes.
    using Form = std::pair<QString, QByteArray>;

    // Null without a Wayland display, or where the compositor offers no
    // data control.
    static std::unique_ptr<WaylandDataControlSelection> connect();
    ~WaylandDataControlSelection();
    WaylandDataControlSelection(const WaylandDataControlSelection &) = delete;
    WaylandDataControlSelection &operator=(const WaylandDataControlSelection &) = delete;

    // Makes `forms` the clipboard (text also under the names Wayland and
    // X11 applications ask for); false when the compositor did not take
    // it, or did not answer within a second.
    bool offer(const QList<Form> &forms);
    // Empties the clipboard if it still holds our last offer.
    void withdraw();

    struct Connection;

private:
    explicit WaylandDataControlSelection(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> m_connection;
};

} // namespace tovalit
