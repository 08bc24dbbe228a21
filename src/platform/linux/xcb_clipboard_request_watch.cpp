#include "platform/linux/xcb_clipboard_request_watch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace tovalit {

XcbClipboardRequestWatch::XcbClipboardRequestWatch(std::function<void()> onRequest)
    : m_onRequest(std::move(onRequest)) {
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const char *name = "CLIPBOARD";
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply)
        return;
    m_clipboard = reply->atom;
    std::free(reply);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

XcbClipboardRequestWatch::~XcbClipboardRequestWatch() {
    if (m_clipboard && QCoreApplication::instance())
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
    if (request->selection == m_clipboard)
        m_onRequest();
    // Qt still answers it.
    return false;
}

} // namespace tovalit
