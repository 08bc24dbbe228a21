// What one interaction-context capture costs against a real editor, and
// what the text recognition of the caret area costs. Run inside the
// desktop session, on two cores like the smallest machines:
//
//   scripts/lib/headless-session taskset -c 0,1 build/bench/bench_interaction_context

#include "platform/fake/fake_screen_capture.h"
#include "platform/linux/linux_interaction_platform.h"
#include "platform/text_recognizer.h"
#include "platform/window_system.h"
#include "services/context/active_interaction_context_service.h"
#include "services/context/screen_text_capture.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

using namespace tovalit;

QApplication &application() {
    static int argc = 1;
    static char name[] = "bench_interaction_context";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

struct Desktop {
    InteractionPlatform platform = makeLinuxInteractionPlatform();
    std::unique_ptr<tovalit::testing::TestEditorProcess> editor;

    Desktop() {
        tovalit::testing::setDesktopAccessibilityEnabled(true);
        editor = tovalit::testing::TestEditorProcess::start(
            tovalit::testing::TestEditorProcess::Toolkit::Qt, QStringLiteral("Bench 基准"),
            QStringLiteral("今天下午三点开会，讨论发布计划。\nMeeting at 3pm about the release."),
            8);
        tovalit::testing::waitUntil(
            [this] {
                auto front = platform.windowSystem->frontmostApplication();
                return editor && front && front->processIdentifier == editor->processIdentifier();
            },
            "the editor to be frontmost");
    }
};

Desktop &desktop() {
    application();
    static Desktop instance;
    return instance;
}

void captureLoop(benchmark::State &state, std::shared_ptr<ScreenCapture> screen) {
    Desktop &d = desktop();
    ActiveInteractionContextService service(
        d.platform.accessibility, d.platform.windowSystem,
        std::make_shared<ScreenTextCapture>(d.platform.windowSystem, std::move(screen),
                                            d.platform.textRecognizer));
    tovalit::testing::runTask(service.captureCurrentContext()); // warm: bus, engine, caches
    for (auto _ : state) {
        auto context = tovalit::testing::runTask(service.captureCurrentContext());
        if (!context || !context->naturalFormattingContext.surroundingTextBeforeCursor)
            state.SkipWithError("the capture found no text");
        benchmark::DoNotOptimize(context);
    }
}

// Accessibility reads, window identity and the retry logic; no pixels.
void BM_CaptureWithoutScreenText(benchmark::State &state) {
    auto noScreen = std::make_shared<FakeScreenCapture>();
    noScreen->setPermitted(false);
    captureLoop(state, noScreen);
}
BENCHMARK(BM_CaptureWithoutScreenText)->Unit(benchmark::kMillisecond)->UseRealTime();

// Everything, with the window and caret-area capture and recognition.
void BM_CaptureWithCaretAreaText(benchmark::State &state) {
    captureLoop(state, desktop().platform.screenCapture);
}
BENCHMARK(BM_CaptureWithCaretAreaText)->Unit(benchmark::kMillisecond)->UseRealTime();

// Recognition alone, of a caret crop the size a 2 × 18 caret gives.
void BM_CaretAreaRecognition(benchmark::State &state) {
    application();
    QImage image(442, 378, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(18);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QStringList lines = {QStringLiteral("今天下午三点开会，讨论发布计划。"),
                               QStringLiteral("Meeting at 3pm about the release."),
                               QStringLiteral("请在会前把文档发给大家 Thanks!")};
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(10, 150 + i * 30, lines[i]);
    painter.end();
    CapturedImage crop{
        image.width(), image.height(), int(image.bytesPerLine()),
        QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes())};
    auto recognizer = desktop().platform.textRecognizer;
    recognizer->recognizeLines(crop);
    for (auto _ : state)
        benchmark::DoNotOptimize(recognizer->recognizeLines(crop));
}
BENCHMARK(BM_CaretAreaRecognition)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
