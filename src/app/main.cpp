#include "app/heap_housekeeping.h"
#include "app/qt_platform_choice.h"
#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "app/vellup_transcriber_app.h"
#include "services/settings/tovalit_debug_logger.h"
#include "views/design/tovalit_fonts.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    tovalit::HeapHousekeeping::limitArenas();
    tovalit::preferXcbPlatform();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovalit"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tovalit"));
    QApplication::setDesktopFileName(tovalit::SingleInstance::defaultServiceName());

    // Launching again is how a desktop reopens an application: the running
    // process comes forward and this one ends.
    tovalit::SingleInstance instance;
    if (!instance.claim())
        return instance.activateRunningInstance() ? 0 : 1;
    tovalit::applyTovalitAppearance(application);
    tovalit::quitOnTerminationSignals();

    int status = 0;
    {
        tovalit::VellupTranscriberApp tovalit(
            tovalit::VellupTranscriberApp::Dependencies::linuxDefaults());
        tovalit.launch();
        QObject::connect(&instance, &tovalit::SingleInstance::activationRequested, &tovalit,
                         [&tovalit] { tovalit.reopen(); });
        status = QApplication::exec();
    }
    // What the application logged while it wound down is written now, and
    // the log's writer is gone before the statics it uses.
    tovalit::TovalitDebugLogger::shutdown();
    return status;
}
