#include "platform/linux/xcb_connection.h"

namespace tovalit {

std::shared_ptr<XcbConnection> XcbConnection::open() {
    std::shared_ptr<XcbConnection> result(new XcbConnection);
    int screenNumber = 0;
    result->m_connection = xcb_connect(nullptr, &screenNumber);
    if (!result->m_connection || xcb_connection_has_error(result->m_connection))
        return nullptr;
    result->m_screenNumber = screenNumber;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(result->m_connection));
    for (int index = 0; screens.rem && index < screenNumber; ++index)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return nullptr;
    result->m_root = screens.data->root;
    xcb_intern_atom_cookie_t *cookies = xcb_ewmh_init_atoms(result->m_connection, &result->m_ewmh);
    if (!cookies || !xcb_ewmh_init_atoms_replies(&result->m_ewmh, cookies, nullptr))
        return nullptr;
    result->m_ewmhReady = true;
    return result;
}

XcbConnection::~XcbConnection() {
    if (m_ewmhReady)
        xcb_ewmh_connection_wipe(&m_ewmh);
    if (m_connection)
        xcb_disconnect(m_connection);
}

} // namespace tovalit
