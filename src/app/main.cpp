#include "app/heap_housekeeping.h"
#include "app/termination_signals.h"
#include "app/vellup_transcriber_app.h"
#include "views/design/tovalit_fonts.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    tovalit::HeapHousekeeping::limitArenas();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovalit"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tovalit"));
    QApplication::setDesktopFileName(QStringLiteral("cn.pellastrim.tovalit"));
    tovalit::applyTovalitAppearance(application);
    tovalit::quitOnTerminationSignals();

    tovalit::VellupTranscriberApp tovalit(
        tovalit::VellupTranscriberApp::Dependencies::linuxDefaults());
    tovalit.launch();
    return QApplication::exec();
}
