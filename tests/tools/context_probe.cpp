// Captures the interaction context of whatever application is frontmost,
// once, with the real desktop services, and prints it as JSON (with how
// long it took). Used by the integration tests that must run in a process
// of their own (for instance without an accessibility bus), and by people.
//
//   context_probe [--wait-ms N]

#include "platform/linux/linux_interaction_platform.h"
#include "services/context/active_interaction_context_service.h"
#include "services/context/screen_text_capture.h"
#include "services/settings/tovalit_debug_logger.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace {

using namespace tovalit;

void put(QJsonObject &object, const char *key, const std::optional<QString> &value) {
    if (value)
        object.insert(QLatin1String(key), *value);
}

QCoro::Task<void> probe(ActiveInteractionContextService *service) {
    QElapsedTimer timer;
    timer.start();
    const auto context = co_await service->captureCurrentContext();
    QJsonObject out;
    out.insert(QStringLiteral("milliseconds"), double(timer.elapsed()));
    if (context) {
        const NaturalFormattingContext &f = context->naturalFormattingContext;
        out.insert(QStringLiteral("appName"), context->appName);
        out.insert(QStringLiteral("bundleID"), context->bundleID);
        out.insert(QStringLiteral("processIdentifier"), context->processIdentifier);
        out.insert(QStringLiteral("appProfileID"), f.appProfileID);
        put(out, "selectedText", f.selectedText);
        put(out, "surroundingTextBeforeCursor", f.surroundingTextBeforeCursor);
        put(out, "surroundingTextAfterCursor", f.surroundingTextAfterCursor);
        put(out, "focusedElementRole", f.focusedElementRole);
        put(out, "focusedElementDescription", f.focusedElementDescription);
        put(out, "caretRect", f.caretRect);
        put(out, "caretAreaOCR", f.caretAreaOCR);
        put(out, "screenshotOCR", f.screenshotOCR);
        put(out, "windowTitle", f.windowTitle);
    }
    std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    InteractionPlatform platform = makeLinuxInteractionPlatform();
    auto screenText =
        std::make_shared<ScreenTextCapture>(platform.windowSystem, platform.screenCapture,
                                            platform.textRecognizer, platform.displaySession);
    ActiveInteractionContextService service(platform.accessibility, platform.windowSystem,
                                            screenText, systemSleeper(), platform.displaySession);
    QTimer::singleShot(0, [&service] { probe(&service); });
    const int status = app.exec();
    // The test reads the capture's log lines once this process has ended.
    TovalitDebugLogger::shutdown();
    return status;
}
