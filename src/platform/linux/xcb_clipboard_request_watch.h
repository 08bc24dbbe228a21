#pragma once

#include <QAbstractNativeEventFilter>

#include <functional>

namespace tovalit {

// Tells when another X client asks Qt's connection for what we hold on the
// CLIPBOARD selection: Qt answers such requests itself and says nothing of
// them. Needs Qt's xcb platform; does nothing elsewhere. GUI thread only.
class XcbClipboardRequestWatch final : public QAbstractNativeEventFilter {
public:
    explicit XcbClipboardRequestWatch(std::function<void()> onRequest);
    ~XcbClipboardRequestWatch() override;
    XcbClipboardRequestWatch(const XcbClipboardRequestWatch &) = delete;
    XcbClipboardRequestWatch &operator=(const XcbClipboardRequestWatch &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    std::function<void()> m_onRequest;
    // The CLIPBOARD atom; 0 without an X connection.
    quint32 m_clipboard = 0;
};

} // namespace tovalit
