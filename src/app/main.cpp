#include "app/heap_housekeeping.h"
#include "app/launch_request.h"
#include "app/qt_platform_choice.h"
#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "app/vellup_transcriber_app.h"
#include "platform/linux/desktop_notification.h"
#include "services/settings/tovalit_debug_logger.h"
#include "support/spawn.h"
#include "views/design/tovalit_fonts.h"

#include <QApplication>
#include <QPointer>

#include <cstdio>

int main(int argc, char *argv[]) {
    tovalit::HeapHousekeeping::limitArenas();
    tovalit::preferXcbPlatform();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovalit"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tovalit"));
    QApplication::setDesktopFileName(tovalit::SingleInstance::defaultServiceName());

    const auto parsed = tovalit::LaunchRequest::fromArguments(QApplication::arguments());
    if (const QString *error = std::get_if<QString>(&parsed)) {
        std::fprintf(stderr, "tovalit: %s\n", qPrintable(*error));
        return 2;
    }
    const tovalit::LaunchRequest request = std::get<tovalit::LaunchRequest>(parsed);

    // Launching again is how a desktop reopens an application, or runs one
    // of its entry's actions: the running process is asked, before this
    // one builds anything, and this one ends.
    tovalit::SingleInstance instance;
    if (!instance.claim())
        return instance.activateRunningInstance(request.action) ? 0 : 1;
    if (request.action == tovalit::DesktopAction::quit)
        return 0;
    if (const std::optional<QString> refusal = tovalit::unsupportedPlatformMessage()) {
        std::fprintf(stderr, "tovalit: %s\n", qPrintable(*refusal));
        // Started from the desktop's list of applications, nobody reads
        // the terminal.
        tovalit::notifyDesktop(*refusal, std::chrono::seconds(2));
        return 1;
    }
    tovalit::applyTovalitAppearance(application);
    tovalit::quitOnTerminationSignals();

    int status = 0;
    {
        tovalit::VellupTranscriberApp tovalit(
            tovalit::VellupTranscriberApp::Dependencies::linuxDefaults());
        // Started by the session bus, the window waits for the call that
        // says what is wanted.
        tovalit.launch(!request.activatedByBus);
        tovalit.serve(instance);
        if (request.action)
            tovalit.activateAction(*request.action, tovalit::secondsSinceProcessStart());
        // From here a signal quits as the menu does, letting a dictation
        // under way be filed first.
        tovalit::quitOnTerminationSignals(
            [app = QPointer<tovalit::VellupTranscriberApp>(&tovalit)] {
                if (app)
                    app->terminate();
                else
                    QCoreApplication::exit(0);
            });
        status = QApplication::exec();
    }
    // Quitting cancelled the waits still under way; each ends at a wake-up
    // posted to the loop that has just ended.
    tovalit::settleDetachedTasks();
    // What the application logged while it wound down is written now, and
    // the log's writer is gone before the statics it uses.
    tovalit::TovalitDebugLogger::shutdown();
    return status;
}
