#include "platform/linux/x11_screen_capture.h"

#include "platform/linux/xcb_connection.h"

#include <QRect>

namespace tovalit {

X11ScreenCapture::X11ScreenCapture(std::shared_ptr<XcbConnection> connection,
                                   DisplaySession session)
    : m_connection(std::move(connection))
    , m_session(session) {}

bool X11ScreenCapture::isCapturePermitted() {
    return m_connection && !m_session.wayland;
}

std::optional<CapturedImage> X11ScreenCapture::captureWindow(quint32 windowNumber,
                                                             std::optional<QRectF> area) {
    if (!m_connection)
        return std::nullopt;
    xcb_connection_t *c = m_connection->connection();
    auto geometry = xcbReply(xcb_get_geometry_reply(c, xcb_get_geometry(c, windowNumber), nullptr));
    auto origin = xcbReply(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, windowNumber, m_connection->root(), 0, 0), nullptr));
    if (!geometry || !origin)
        return std::nullopt;
    // The part of the window to read, in the window's own coordinates; a
    // request reaching outside the window would fail as a whole.
    const QRect window(0, 0, geometry->width, geometry->height);
    QRect wanted = window;
    if (area) {
        wanted = area->translated(-origin->dst_x, -origin->dst_y).toAlignedRect() & window;
        if (wanted.isEmpty())
            return std::nullopt;
    }
    xcb_generic_error_t *error = nullptr;
    auto image = xcbReply(
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, windowNumber,
                                          int16_t(wanted.x()), int16_t(wanted.y()),
                                          uint16_t(wanted.width()), uint16_t(wanted.height()), ~0u),
                            &error));
    std::free(error);
    if (!image)
        return std::nullopt;
    // True-colour windows come as 32 bits a pixel, blue green red and
    // padding, least significant byte first.
    const int length = xcb_get_image_data_length(image.get());
    const int width = wanted.width();
    const int height = wanted.height();
    if (image->depth < 24 || length < width * height * 4)
        return std::nullopt;
    const uint8_t *data = xcb_get_image_data(image.get());
    const int sourceStride = length / height;
    CapturedImage grey;
    grey.width = width;
    grey.height = height;
    grey.bytesPerLine = width;
    grey.pixels.resize(qsizetype(width) * height);
    auto *out = reinterpret_cast<uint8_t *>(grey.pixels.data());
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = data + qsizetype(y) * sourceStride;
        for (int x = 0; x < width; ++x) {
            const uint8_t *pixel = row + x * 4;
            out[qsizetype(y) * width + x] =
                uint8_t((pixel[2] * 299 + pixel[1] * 587 + pixel[0] * 114) / 1000);
        }
    }
    return grey;
}

} // namespace tovalit
