#include "platform/desktop_compositing.h"
#include "platform/linux/xcb_connection.h"

#include <QByteArray>
#include <QtGlobal>

#include <mutex>

namespace tovalit {

bool desktopCompositesWindows() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return true;
    static std::mutex mutex;
    static std::shared_ptr<XcbConnection> x;
    std::lock_guard lock(mutex);
    if (!x || xcb_connection_has_error(x->connection()))
        x = XcbConnection::open();
    if (!x)
        return false;
    // A compositing manager owns the selection _NET_WM_CM_S<screen>.
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(x->screenNumber());
    xcb_connection_t *connection = x->connection();
    auto atom = xcbReply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData()),
        nullptr));
    if (!atom)
        return false;
    auto owner = xcbReply(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}

} // namespace tovalit
