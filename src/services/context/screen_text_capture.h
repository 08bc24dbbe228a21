#pragma once

#include "platform/captured_image.h"
#include "platform/display_session.h"
#include "services/context/focused_element_context.h"

#include <QFuture>
#include <QRectF>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

class QThreadPool;

namespace tovalit {

class ScreenCapture;
class TextRecognizer;
class WindowSystem;

// The frontmost application's front window as captured for recognition.
struct WindowSnapshot {
    CapturedImage image;
    quint32 windowNumber = 0;
    QRectF bounds;
    std::optional<QString> title;
};

// Reads what the screen shows around the caret: the text of a crop around
// it, the text of the whole window when nothing cheaper gave any, the
// caret's place in the window and the window's title. Never asks for
// permission; without it everything stays absent.
class ScreenTextCapture {
public:
    ScreenTextCapture(std::shared_ptr<WindowSystem> windowSystem,
                      std::shared_ptr<ScreenCapture> screenCapture,
                      std::shared_ptr<TextRecognizer> recognizer,
                      DisplaySession displaySession = {});
    ~ScreenTextCapture();

    // Runs off the calling thread, at low priority; never fails. Not tied
    // to the caller's cancellation.
    QCoro::Task<ScreenCaptureArtifacts>
    captureScreenCaptureArtifacts(qint32 processIdentifier, FocusedElementContext focused);

    // The work itself, on the calling thread. The recogniser is released
    // when it is done.
    ScreenCaptureArtifacts collect(qint32 processIdentifier, const FocusedElementContext &focused);
    std::optional<WindowSnapshot> frontmostWindowSnapshot(qint32 processIdentifier);
    std::optional<QString> captureCaretAreaOCR(QRectF caretRect, const WindowSnapshot &snapshot);
    std::optional<QString> recognizedText(const CapturedImage &image, int limit);

    // The caret grown by generous margins, cut to the window; may be empty.
    static QRectF expandedCaptureRect(QRectF caretRect, QRectF windowBounds);
    // "window-relative x=0.417 y=0.375 w=0.002 h=0.022": fractions of the
    // window, y downwards from its top.
    static QString formatRect(QRectF caretRect, QRectF windowBounds);
    // "screen x=500.0 y=300.0 w=2.0 h=18.0".
    static std::optional<QString> formatGlobalRect(std::optional<QRectF> caretRect);

    static constexpr double minimumWindowSize = 40;
    static constexpr int caretAreaTextLimit = 420;
    static constexpr int wholeWindowTextLimit = 1200;
    static constexpr int windowTitleLimit = 120;

private:
    QFuture<ScreenCaptureArtifacts> startCollecting(qint32 processIdentifier,
                                                    FocusedElementContext focused);

    std::shared_ptr<WindowSystem> m_windowSystem;
    std::shared_ptr<ScreenCapture> m_screenCapture;
    std::shared_ptr<TextRecognizer> m_recognizer;
    DisplaySession m_displaySession;
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace tovalit
