#include "services/context/screen_text_capture.h"

#include "platform/screen_capture.h"
#include "platform/text_recognizer.h"
#include "platform/window_system.h"
#include "services/context/active_interaction_context_service.h"
#include "services/settings/tovalit_debug_logger.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace tovalit {

ScreenTextCapture::ScreenTextCapture(std::shared_ptr<WindowSystem> windowSystem,
                                     std::shared_ptr<ScreenCapture> screenCapture,
                                     std::shared_ptr<TextRecognizer> recognizer,
                                     DisplaySession displaySession)
    : m_windowSystem(std::move(windowSystem))
    , m_screenCapture(std::move(screenCapture))
    , m_recognizer(std::move(recognizer))
    , m_displaySession(displaySession)
    , m_pool(std::make_unique<QThreadPool>()) {
    // Recognition is the heavy part of a capture and one engine serves it:
    // one worker, below the interface's priority.
    m_pool->setMaxThreadCount(1);
    m_pool->setThreadPriority(QThread::LowPriority);
}

ScreenTextCapture::~ScreenTextCapture() {
    m_pool->waitForDone();
}

QCoro::Task<ScreenCaptureArtifacts>
ScreenTextCapture::captureScreenCaptureArtifacts(qint32 processIdentifier,
                                                 FocusedElementContext focused) {
    if (!m_screenCapture->isCapturePermitted()) {
        if (m_displaySession.wayland)
            TovalitDebugLogger::log(
                QStringLiteral("capture.screen"),
                QStringLiteral("off | reason=wayland-session | other windows cannot be read"));
        co_return ScreenCaptureArtifacts{};
    }
    co_return co_await startCollecting(processIdentifier, std::move(focused));
}

// Outside the coroutine: GCC 12 miscompiles capturing lambdas inside
// coroutine bodies.
QFuture<ScreenCaptureArtifacts> ScreenTextCapture::startCollecting(qint32 processIdentifier,
                                                                   FocusedElementContext focused) {
    return QtConcurrent::run(m_pool.get(), [this, processIdentifier, focused] {
        return collect(processIdentifier, focused);
    });
}

ScreenCaptureArtifacts ScreenTextCapture::collect(qint32 processIdentifier,
                                                  const FocusedElementContext &focused) {
    ScreenCaptureArtifacts artifacts;
    const std::optional<WindowSnapshot> snapshot = frontmostWindowSnapshot(processIdentifier);
    if (!snapshot)
        return artifacts;
    if (focused.caretRect)
        artifacts.caretAreaOCR = captureCaretAreaOCR(*focused.caretRect, *snapshot);
    // An empty field is what the user writes in: the window's text says
    // nothing about it that the field did not.
    if (!focused.hasRichLocalTextContext() && !artifacts.caretAreaOCR && !focused.emptyField)
        artifacts.screenshotOCR = recognizedText(snapshot->image, wholeWindowTextLimit);
    if (focused.caretRect)
        artifacts.caretRectDescription = formatRect(*focused.caretRect, snapshot->bounds);
    artifacts.windowTitle =
        ActiveInteractionContextService::normalizeOCRText(snapshot->title, windowTitleLimit);
    // The next capture is a dictation away: the recogniser's models are
    // not worth keeping resident until then.
    m_recognizer->releaseResources();
    return artifacts;
}

std::optional<WindowSnapshot> ScreenTextCapture::frontmostWindowSnapshot(qint32 processIdentifier) {
    for (const WindowInfo &window : m_windowSystem->onScreenWindows()) {
        if (window.ownerProcessIdentifier != processIdentifier || window.layer != 0 ||
            !window.alpha || *window.alpha <= 0 || !window.bounds)
            continue;
        if (window.bounds->width() <= minimumWindowSize ||
            window.bounds->height() <= minimumWindowSize)
            continue;
        auto image = m_screenCapture->captureWindow(window.windowNumber, std::nullopt);
        if (!image)
            continue;
        return WindowSnapshot{std::move(*image), window.windowNumber, *window.bounds, window.name};
    }
    return std::nullopt;
}

QRectF ScreenTextCapture::expandedCaptureRect(QRectF caretRect, QRectF windowBounds) {
    const double horizontal = qMax(8 * caretRect.width(), 220.0);
    const double vertical = qMax(10 * caretRect.height(), 140.0);
    return caretRect.adjusted(-horizontal, -vertical, horizontal, vertical)
        .intersected(windowBounds);
}

std::optional<QString> ScreenTextCapture::captureCaretAreaOCR(QRectF caretRect,
                                                              const WindowSnapshot &snapshot) {
    const QRectF crop = expandedCaptureRect(caretRect, snapshot.bounds);
    if (crop.isNull() || crop.isEmpty())
        return std::nullopt;
    auto image = m_screenCapture->captureWindow(snapshot.windowNumber, crop);
    if (!image)
        return std::nullopt;
    return recognizedText(*image, caretAreaTextLimit);
}

std::optional<QString> ScreenTextCapture::recognizedText(const CapturedImage &image, int limit) {
    const auto lines = m_recognizer->recognizeLines(image);
    if (!lines || lines->isEmpty())
        return std::nullopt;
    return ActiveInteractionContextService::normalizeOCRText(lines->join(QLatin1Char('\n')), limit);
}

QString ScreenTextCapture::formatRect(QRectF caretRect, QRectF windowBounds) {
    const double width = windowBounds.width() > 1 ? windowBounds.width() : 1;
    const double height = windowBounds.height() > 1 ? windowBounds.height() : 1;
    return QString::asprintf("window-relative x=%.3f y=%.3f w=%.3f h=%.3f",
                             (caretRect.x() - windowBounds.left()) / width,
                             (caretRect.y() - windowBounds.top()) / height,
                             caretRect.width() / width, caretRect.height() / height);
}

std::optional<QString> ScreenTextCapture::formatGlobalRect(std::optional<QRectF> caretRect) {
    if (!caretRect)
        return std::nullopt;
    return QString::asprintf("screen x=%.1f y=%.1f w=%.1f h=%.1f", caretRect->x(), caretRect->y(),
                             caretRect->width(), caretRect->height());
}

} // namespace tovalit
