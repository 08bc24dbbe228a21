#pragma once

#include "platform/display_session.h"
#include "platform/screen_capture.h"

#include <memory>

namespace tovalit {

class XcbConnection;

// Window pixels read from the X server. Possible on an X11 session; not on
// Wayland, where other applications' windows cannot be read.
class X11ScreenCapture final : public ScreenCapture {
public:
    X11ScreenCapture(std::shared_ptr<XcbConnection> connection, DisplaySession session);

    bool isCapturePermitted() override;
    std::optional<CapturedImage> captureWindow(quint32 windowNumber,
                                               std::optional<QRectF> area) override;

private:
    std::shared_ptr<XcbConnection> m_connection;
    DisplaySession m_session;
};

} // namespace tovalit
