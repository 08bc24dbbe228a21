#include "platform/linux/xcb_clipboard_request_watch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/res.h>
#include <xcb/xcb.h>

namespace tovalit {

namespace {

xcb_connection_t *qtConnection() {
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

quint32 intern(xcb_connection_t *connection, const char *name) {
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return 0;
    const quint32 atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace

XcbClipboardRequestWatch::XcbClipboardRequestWatch(QByteArray selection,
                                                   std::function<void(Request)> onRequest)
    : m_onRequest(std::move(onRequest)) {
    xcb_connection_t *connection = qtConnection();
    if (!connection)
        return;
    m_selection = intern(connection, selection.constData());
    m_targets = intern(connection, "TARGETS");
    m_timestamp = intern(connection, "TIMESTAMP");
    if (m_selection)
        QCoreApplication::instance()->installNativeEventFilter(this);
}

XcbClipboardRequestWatch::~XcbClipboardRequestWatch() {
    if (m_selection && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool XcbClipboardRequestWatch::nativeEventFilter(const QByteArray &eventType, void *message,
                                                 qintptr *) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & ~0x80) != XCB_SELECTION_REQUEST)
        return false;
    const auto *request = static_cast<const xcb_selection_request_event_t *>(message);
    if (request->selection == m_selection)
        m_onRequest(Request{request->requestor, request->target,
                            request->target != m_targets && request->target != m_timestamp});
    // Qt still answers it.
    return false;
}

QByteArray XcbClipboardRequestWatch::nameOf(quint32 atom) const {
    xcb_connection_t *connection = qtConnection();
    if (!connection || atom == 0)
        return {};
    std::unique_ptr<xcb_get_atom_name_reply_t, decltype(&std::free)> reply(
        xcb_get_atom_name_reply(connection, xcb_get_atom_name(connection, atom), nullptr),
        &std::free);
    if (!reply)
        return {};
    return QByteArray(xcb_get_atom_name_name(reply.get()),
                      xcb_get_atom_name_name_length(reply.get()));
}

std::optional<qint32> XcbClipboardRequestWatch::processOf(quint32 window) const {
    xcb_connection_t *connection = qtConnection();
    if (!connection || window == 0)
        return std::nullopt;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_res_id);
    if (!extension || !extension->present)
        return std::nullopt;
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    std::unique_ptr<xcb_res_query_client_ids_reply_t, decltype(&std::free)> reply(
        xcb_res_query_client_ids_reply(connection, xcb_res_query_client_ids(connection, 1, &spec),
                                       nullptr),
        &std::free);
    if (!reply)
        return std::nullopt;
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem;
         xcb_res_client_id_value_next(&ids)) {
        if (!(ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) ||
            xcb_res_client_id_value_value_length(ids.data) < 1)
            continue;
        const qint32 pid = qint32(*xcb_res_client_id_value_value(ids.data));
        if (pid > 0)
            return pid;
    }
    return std::nullopt;
}

} // namespace tovalit
