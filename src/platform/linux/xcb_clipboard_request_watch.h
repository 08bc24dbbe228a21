#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <functional>
#include <optional>

namespace tovalit {

// Tells when another X client asks Qt's connection for what we hold on a
// selection (CLIPBOARD, or PRIMARY): Qt answers such requests itself and
// says nothing of them. Needs Qt's xcb platform; does nothing elsewhere.
// GUI thread only.
class XcbClipboardRequestWatch final : public QAbstractNativeEventFilter {
public:
    struct Request {
        // The window the asking client wants the answer on.
        quint32 requestor = 0;
        // The form it asks for.
        quint32 target = 0;
        // Whether it asked for the content itself, not only for the forms
        // on offer or the time of the write: a program pasting asks for
        // the forms first, and a paste has happened once it takes one.
        bool forContent = false;
    };

    XcbClipboardRequestWatch(QByteArray selection, std::function<void(Request)> onRequest);
    ~XcbClipboardRequestWatch() override;
    XcbClipboardRequestWatch(const XcbClipboardRequestWatch &) = delete;
    XcbClipboardRequestWatch &operator=(const XcbClipboardRequestWatch &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    // The process of the client that made `window`, as the X server knows
    // it (a round trip); nothing without the server's resource extension,
    // or once the client has gone.
    std::optional<qint32> processOf(quint32 window) const;
    // The name of a form a request asked for (a round trip).
    QByteArray nameOf(quint32 atom) const;

private:
    std::function<void(Request)> m_onRequest;
    // 0 without an X connection.
    quint32 m_selection = 0;
    quint32 m_targets = 0;
    quint32 m_timestamp = 0;
};

} // namespace tovalit
