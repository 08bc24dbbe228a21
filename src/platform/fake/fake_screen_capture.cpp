#include "platform/fake/fake_screen_capture.h"

namespace tovalit {

void FakeScreenCapture::setPermitted(bool permitted) {
    std::lock_guard lock(m_mutex);
    m_permitted = permitted;
}

void FakeScreenCapture::setCapturable(quint32 windowNumber, QRectF bounds) {
    std::lock_guard lock(m_mutex);
    m_windows.insert(windowNumber, bounds);
}

QList<FakeScreenCapture::Request> FakeScreenCapture::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool FakeScreenCapture::isCapturePermitted() {
    std::lock_guard lock(m_mutex);
    return m_permitted;
}

std::optional<CapturedImage> FakeScreenCapture::captureWindow(quint32 windowNumber,
                                                              std::optional<QRectF> area) {
    std::lock_guard lock(m_mutex);
    m_requests.append(Request{windowNumber, area});
    const auto window = m_windows.constFind(windowNumber);
    if (window == m_windows.constEnd())
        return std::nullopt;
    const QRectF covered = area ? (*area & *window) : *window;
    if (covered.isEmpty())
        return std::nullopt;
    CapturedImage image;
    image.width = qRound(covered.width());
    image.height = qRound(covered.height());
    image.bytesPerLine = image.width;
    image.pixels = QByteArray(qsizetype(image.width) * image.height, '\xff');
    return image;
}

void FakeTextRecognizer::setLines(int width, int height, std::optional<QStringList> lines) {
    std::lock_guard lock(m_mutex);
    m_lines.insert({width, height}, std::move(lines));
}

int FakeTextRecognizer::recognitionCount() const {
    std::lock_guard lock(m_mutex);
    return m_count;
}

bool FakeTextRecognizer::holdsResources() const {
    std::lock_guard lock(m_mutex);
    return m_holdsResources;
}

int FakeTextRecognizer::loadCount() const {
    std::lock_guard lock(m_mutex);
    return m_loads;
}

std::optional<QStringList> FakeTextRecognizer::recognizeLines(const CapturedImage &image) {
    std::lock_guard lock(m_mutex);
    ++m_count;
    if (!m_holdsResources)
        ++m_loads;
    m_holdsResources = true;
    return m_lines.value({image.width, image.height}, QStringList());
}

void FakeTextRecognizer::releaseResources() {
    std::lock_guard lock(m_mutex);
    m_holdsResources = false;
}

} // namespace tovalit
