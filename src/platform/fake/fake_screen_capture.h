#pragma once

#include "platform/screen_capture.h"
#include "platform/text_recognizer.h"

#include <QHash>
#include <QList>

#include <functional>
#include <mutex>

namespace tovalit {

// Window "pixels" for tests: every capture is recorded and answered with a
// blank image the size of the captured area, which FakeTextRecognizer
// tells apart by that size.
class FakeScreenCapture final : public ScreenCapture {
public:
    struct Request {
        quint32 windowNumber = 0;
        std::optional<QRectF> area;
    };

    void setPermitted(bool permitted);
    // Windows that capture; the rest give no image.
    void setCapturable(quint32 windowNumber, QRectF bounds);
    QList<Request> requests() const;

    bool isCapturePermitted() override;
    std::optional<CapturedImage> captureWindow(quint32 windowNumber,
                                               std::optional<QRectF> area) override;

private:
    mutable std::mutex m_mutex;
    bool m_permitted = true;
    QHash<quint32, QRectF> m_windows;
    QList<Request> m_requests;
};

// Recognises what a test says an image of a given size holds.
class FakeTextRecognizer final : public TextRecognizer {
public:
    // Images `width` × `height` read as `lines`; nothing means failure.
    void setLines(int width, int height, std::optional<QStringList> lines);
    int recognitionCount() const;
    // Whether a recognition ran since the last release, as a real engine
    // would still hold its models, and how often they were loaded.
    bool holdsResources() const;
    int loadCount() const;

    std::optional<QStringList> recognizeLines(const CapturedImage &image) override;
    void releaseResources() override;

private:
    mutable std::mutex m_mutex;
    QHash<QPair<int, int>, std::optional<QStringList>> m_lines;
    int m_count = 0;
    bool m_holdsResources = false;
    int m_loads = 0;
};

} // namespace tovalit
