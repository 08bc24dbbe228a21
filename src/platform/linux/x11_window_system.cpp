#include "platform/linux/x11_window_system.h"

#include "platform/linux/xcb_connection.h"

#include <QSet>

#include <xcb/xcb_icccm.h>

namespace tovalit {

namespace {

std::optional<qint32> windowProcess(XcbConnection &x, xcb_get_property_cookie_t cookie) {
    uint32_t pid = 0;
    if (!xcb_ewmh_get_wm_pid_reply(x.ewmh(), cookie, &pid, nullptr) || pid == 0)
        return std::nullopt;
    return qint32(pid);
}

std::optional<QString> windowTitle(XcbConnection &x, xcb_window_t window) {
    xcb_ewmh_get_utf8_strings_reply_t name{};
    if (xcb_ewmh_get_wm_name_reply(x.ewmh(), xcb_ewmh_get_wm_name(x.ewmh(), window), &name,
                                   nullptr)) {
        QString title = QString::fromUtf8(name.strings, int(name.strings_len));
        xcb_ewmh_get_utf8_strings_reply_wipe(&name);
        return title;
    }
    xcb_icccm_get_text_property_reply_t legacy{};
    if (xcb_icccm_get_wm_name_reply(x.connection(), xcb_icccm_get_wm_name(x.connection(), window),
                                    &legacy, nullptr)) {
        QString title = QString::fromLocal8Bit(legacy.name, int(legacy.name_len));
        xcb_icccm_get_text_property_reply_wipe(&legacy);
        return title;
    }
    return std::nullopt;
}

} // namespace

X11WindowSystem::X11WindowSystem(std::shared_ptr<XcbConnection> connection,
                                 std::shared_ptr<DesktopEntryIndex> desktopEntries)
    : m_connection(std::move(connection))
    , m_desktopEntries(std::move(desktopEntries)) {}

QList<X11WindowSystem::ClientWindow> X11WindowSystem::clientWindowsFrontToBack() {
    QList<ClientWindow> result;
    if (!m_connection)
        return result;
    XcbConnection &x = *m_connection;
    xcb_ewmh_get_windows_reply_t list{};
    if (!xcb_ewmh_get_client_list_stacking_reply(
            x.ewmh(), xcb_ewmh_get_client_list_stacking(x.ewmh(), x.screenNumber()), &list,
            nullptr))
        return result;
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(list.windows_len);
    for (uint32_t i = 0; i < list.windows_len; ++i)
        cookies.push_back(xcb_ewmh_get_wm_pid(x.ewmh(), list.windows[i]));
    // The stacking list runs bottom to top.
    for (uint32_t i = list.windows_len; i-- > 0;)
        result.append(ClientWindow{list.windows[i], std::nullopt});
    for (uint32_t i = 0; i < list.windows_len; ++i)
        result[qsizetype(list.windows_len - 1 - i)].processIdentifier =
            windowProcess(x, cookies[i]);
    xcb_ewmh_get_windows_reply_wipe(&list);
    return result;
}

std::optional<quint32> X11WindowSystem::focusedClientWindow() {
    if (!m_connection)
        return std::nullopt;
    XcbConnection &x = *m_connection;
    xcb_window_t active = XCB_NONE;
    if (xcb_ewmh_get_active_window_reply(
            x.ewmh(), xcb_ewmh_get_active_window(x.ewmh(), x.screenNumber()), &active, nullptr) &&
        active != XCB_NONE)
        return active;
    // Without the window manager's word, the input focus: it may sit on a
    // child of the client window, so climb to the one the list knows.
    auto focus = xcbReply(
        xcb_get_input_focus_reply(x.connection(), xcb_get_input_focus(x.connection()), nullptr));
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT)
        return std::nullopt;
    QSet<quint32> clients;
    for (const ClientWindow &client : clientWindowsFrontToBack())
        clients.insert(client.window);
    xcb_window_t window = focus->focus;
    for (int depth = 0; depth < 32 && window != XCB_NONE && window != x.root(); ++depth) {
        if (clients.contains(window))
            return window;
        auto tree = xcbReply(
            xcb_query_tree_reply(x.connection(), xcb_query_tree(x.connection(), window), nullptr));
        if (!tree)
            break;
        window = tree->parent;
    }
    return std::nullopt;
}

std::optional<RunningApplication> X11WindowSystem::applicationOf(quint32 window,
                                                                 qint32 processIdentifier) {
    RunningApplication application;
    application.processIdentifier = processIdentifier;
    XcbConnection &x = *m_connection;
    xcb_icccm_get_wm_class_reply_t windowClass{};
    if (xcb_icccm_get_wm_class_reply(x.connection(), xcb_icccm_get_wm_class(x.connection(), window),
                                     &windowClass, nullptr)) {
        const QString instance = QString::fromLocal8Bit(windowClass.instance_name);
        const QString className = QString::fromLocal8Bit(windowClass.class_name);
        xcb_icccm_get_wm_class_reply_wipe(&windowClass);
        std::optional<DesktopEntry> entry;
        if (m_desktopEntries)
            entry = m_desktopEntries->entryForWindowClass(instance, className);
        if (entry) {
            application.localizedName = entry->name;
            application.bundleIdentifier = entry->id;
        } else {
            const QString known = className.isEmpty() ? instance : className;
            if (!known.isEmpty()) {
                application.localizedName = known;
                application.bundleIdentifier = known;
            }
        }
    }
    return application;
}

std::optional<RunningApplication> X11WindowSystem::frontmostApplication() {
    const auto window = focusedClientWindow();
    if (!window)
        return std::nullopt;
    const auto processIdentifier =
        windowProcess(*m_connection, xcb_ewmh_get_wm_pid(m_connection->ewmh(), *window));
    if (!processIdentifier)
        return std::nullopt;
    return applicationOf(*window, *processIdentifier);
}

std::optional<WindowInfo> X11WindowSystem::focusedWindow() {
    const auto window = focusedClientWindow();
    if (!window)
        return std::nullopt;
    XcbConnection &x = *m_connection;
    xcb_connection_t *c = x.connection();
    const auto pid = xcb_ewmh_get_wm_pid(x.ewmh(), *window);
    const auto geometryCookie = xcb_get_geometry(c, *window);
    const auto originCookie = xcb_translate_coordinates(c, *window, x.root(), 0, 0);
    WindowInfo info;
    info.windowNumber = *window;
    info.ownerProcessIdentifier = windowProcess(x, pid);
    auto geometry = xcbReply(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    auto origin = xcbReply(xcb_translate_coordinates_reply(c, originCookie, nullptr));
    if (geometry && origin)
        info.bounds = QRectF(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    info.name = windowTitle(x, *window);
    return info;
}

std::optional<RunningApplication> X11WindowSystem::runningApplication(qint32 processIdentifier) {
    for (const ClientWindow &client : clientWindowsFrontToBack()) {
        if (client.processIdentifier == processIdentifier)
            return applicationOf(client.window, processIdentifier);
    }
    return std::nullopt;
}

QList<RunningApplication> X11WindowSystem::runningApplications(const QString &bundleIdentifier) {
    QList<RunningApplication> result;
    QSet<qint32> seen;
    for (const ClientWindow &client : clientWindowsFrontToBack()) {
        if (!client.processIdentifier || seen.contains(*client.processIdentifier))
            continue;
        seen.insert(*client.processIdentifier);
        auto application = applicationOf(client.window, *client.processIdentifier);
        if (application && application->bundleIdentifier == bundleIdentifier)
            result.append(*application);
    }
    return result;
}

bool X11WindowSystem::activate(const RunningApplication &application) {
    for (const ClientWindow &client : clientWindowsFrontToBack()) {
        if (client.processIdentifier != application.processIdentifier)
            continue;
        XcbConnection &x = *m_connection;
        // Source indication 2 (a pager): the window manager then grants the
        // request even though another application has the focus.
        xcb_ewmh_request_change_active_window(x.ewmh(), x.screenNumber(), client.window,
                                              XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                              XCB_NONE);
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(x.connection(), client.window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        return xcb_flush(x.connection()) > 0;
    }
    return false;
}

QList<WindowInfo> X11WindowSystem::onScreenWindows() {
    QList<WindowInfo> result;
    if (!m_connection)
        return result;
    XcbConnection &x = *m_connection;
    xcb_connection_t *c = x.connection();
    const QList<ClientWindow> clients = clientWindowsFrontToBack();

    struct Pending {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t type;
        xcb_get_property_cookie_t state;
        xcb_get_property_cookie_t opacity;
    };
    const xcb_atom_t opacityAtom = [c] {
        const char name[] = "_NET_WM_WINDOW_OPACITY";
        auto reply = xcbReply(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof(name) - 1, name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_NONE);
    }();
    // Every request first, then every reply: one round trip for the list.
    std::vector<Pending> pending;
    pending.reserve(size_t(clients.size()));
    for (const ClientWindow &client : clients) {
        pending.push_back(Pending{
            xcb_get_window_attributes(c, client.window),
            xcb_get_geometry(c, client.window),
            xcb_translate_coordinates(c, client.window, x.root(), 0, 0),
            xcb_ewmh_get_wm_window_type(x.ewmh(), client.window),
            xcb_ewmh_get_wm_state(x.ewmh(), client.window),
            xcb_get_property(c, 0, client.window, opacityAtom, XCB_ATOM_CARDINAL, 0, 1),
        });
    }
    for (qsizetype i = 0; i < clients.size(); ++i) {
        const Pending &request = pending[size_t(i)];
        auto attributes = xcbReply(xcb_get_window_attributes_reply(c, request.attributes, nullptr));
        auto geometry = xcbReply(xcb_get_geometry_reply(c, request.geometry, nullptr));
        auto origin = xcbReply(xcb_translate_coordinates_reply(c, request.origin, nullptr));
        xcb_ewmh_get_atoms_reply_t types{};
        const bool hasType =
            xcb_ewmh_get_wm_window_type_reply(x.ewmh(), request.type, &types, nullptr);
        xcb_ewmh_get_atoms_reply_t states{};
        const bool hasState =
            xcb_ewmh_get_wm_state_reply(x.ewmh(), request.state, &states, nullptr);
        auto opacity = xcbReply(xcb_get_property_reply(c, request.opacity, nullptr));

        bool onScreen = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        int layer = 0;
        if (hasType) {
            for (uint32_t t = 0; t < types.atoms_len; ++t) {
                const xcb_atom_t type = types.atoms[t];
                if (type == x.ewmh()->_NET_WM_WINDOW_TYPE_DESKTOP)
                    onScreen = false; // the desktop is not a window here
                else if (type == x.ewmh()->_NET_WM_WINDOW_TYPE_DOCK)
                    layer = 20;
                else if (type != x.ewmh()->_NET_WM_WINDOW_TYPE_NORMAL &&
                         type != x.ewmh()->_NET_WM_WINDOW_TYPE_DIALOG)
                    layer = 3;
                else
                    continue;
                break;
            }
            xcb_ewmh_get_atoms_reply_wipe(&types);
        }
        if (hasState) {
            for (uint32_t s = 0; s < states.atoms_len; ++s) {
                if (states.atoms[s] == x.ewmh()->_NET_WM_STATE_HIDDEN)
                    onScreen = false;
            }
            xcb_ewmh_get_atoms_reply_wipe(&states);
        }
        if (!onScreen)
            continue;

        WindowInfo info;
        info.windowNumber = clients[i].window;
        info.ownerProcessIdentifier = clients[i].processIdentifier;
        info.layer = layer;
        info.alpha = 1.0;
        if (opacity && opacity->type == XCB_ATOM_CARDINAL &&
            xcb_get_property_value_length(opacity.get()) == 4) {
            const uint32_t value = *static_cast<uint32_t *>(xcb_get_property_value(opacity.get()));
            info.alpha = double(value) / double(0xffffffffu);
        }
        if (geometry && origin)
            info.bounds = QRectF(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        info.name = windowTitle(x, clients[i].window);
        result.append(info);
    }
    return result;
}

} // namespace tovalit
