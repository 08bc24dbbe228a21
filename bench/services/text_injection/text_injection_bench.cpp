// What delivering a dictation costs: the whole insertion into a real
// editor (paste, verification), and the preparation rules alone. Run the
// first inside the desktop session, on two cores like the smallest
// machines:
//
//   scripts/lib/headless-session taskset -c 0,1 build/bench/bench_text_injection

#include "platform/accessibility_client.h"
#include "platform/accessibility_thread.h"
#include "platform/linux/linux_insertion_platform.h"
#include "platform/linux/linux_interaction_platform.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "services/text_injection/insertion_preparation.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

using namespace tovalit;
using tovalit::testing::TestEditorProcess;

QApplication &application() {
    static int argc = 1;
    static char name[] = "bench_text_injection";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// The field back to "abc" with the caret at its end.
bool resetField(InteractionPlatform &platform, qint32 pid) {
    return tovalit::testing::runTask(
        platform.accessibilityThread->run([client = platform.accessibility, pid] {
            client->isProcessTrusted();
            auto focused = accessibilityValueAs<AccessibilityElementRef>(
                client->applicationElement(pid)->attributeValue(ax::focusedUIElement));
            return focused && *focused &&
                   (*focused)->setAttributeValue(ax::value, QStringLiteral("abc")) &&
                   (*focused)->setAttributeValue(ax::selectedTextRange, AccessibilityRange{3, 0});
        }));
}

void insertionLoop(benchmark::State &state, TestEditorProcess::Toolkit toolkit) {
    application();
    tovalit::testing::setDesktopAccessibilityEnabled(true);
    InteractionPlatform platform = makeLinuxInteractionPlatform();
    InsertionPlatform insertion = makeLinuxInsertionPlatform();
    auto editor =
        TestEditorProcess::start(toolkit, QStringLiteral("Bench 基准"), QStringLiteral("abc"), 3);
    if (!editor) {
        state.SkipWithError("the editor did not start");
        return;
    }
    FocusedInputInsertionService service(platform.accessibility, insertion.pasteboard,
                                         insertion.keySender);
    ActiveInteractionContext context;
    context.appName = QStringLiteral("Bench");
    context.processIdentifier = editor->processIdentifier();
    for (auto _ : state) {
        state.PauseTiming();
        resetField(platform, editor->processIdentifier());
        state.ResumeTiming();
        const InsertionResult result =
            tovalit::testing::runTask(service.insert(QStringLiteral("你好"), context, {}));
        if (result != InsertionResult::pastedFromClipboard)
            state.SkipWithError("the paste was not verified");
    }
}

// From the call to a verified paste; 220 ms of it are the fixed pauses
// around the key press.
void BM_VerifiedPasteIntoQtLineEdit(benchmark::State &state) {
    insertionLoop(state, TestEditorProcess::Toolkit::QtLineEdit);
}
BENCHMARK(BM_VerifiedPasteIntoQtLineEdit)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

void BM_VerifiedPasteIntoGtkTextView(benchmark::State &state) {
    insertionLoop(state, TestEditorProcess::Toolkit::Gtk);
}
BENCHMARK(BM_VerifiedPasteIntoGtkTextView)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

// A long field and a long dictation that share nothing: every overlap
// length is tried.
void BM_LivePreparationWithoutOverlap(benchmark::State &state) {
    const QString before = QString(400, QChar(u'甲'));
    const QString after = QString(400, QChar(u'乙'));
    const FocusedInputContext field{nullptr, before + after, AccessibilityRange{400, 0}};
    const QString dictated = QString(300, QChar(u'丙'));
    for (auto _ : state)
        benchmark::DoNotOptimize(InsertionPreparation::prepareInsertion(dictated, field));
}
BENCHMARK(BM_LivePreparationWithoutOverlap)->Unit(benchmark::kMicrosecond);

// The captured context widens the window to all of its text.
void BM_CapturedPreparationWithoutOverlap(benchmark::State &state) {
    NaturalFormattingContext captured;
    captured.surroundingTextBeforeCursor = QString(180, QChar(u'甲'));
    captured.surroundingTextAfterCursor = QString(180, QChar(u'乙'));
    const QString dictated = QString(300, QChar(u'丙'));
    for (auto _ : state)
        benchmark::DoNotOptimize(InsertionPreparation::prepareInsertion(dictated, captured));
}
BENCHMARK(BM_CapturedPreparationWithoutOverlap)->Unit(benchmark::kMicrosecond);

} // namespace
