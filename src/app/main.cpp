#include "app/main_window.h"
#include "views/design/tovalit_fonts.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovalit"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tovalit"));
    QApplication::setDesktopFileName(QStringLiteral("cn.pellastrim.tovalit"));
    tovalit::applyTovalitAppearance(app);

    tovalit::MainWindow window;
    window.show();
    return QApplication::exec();
}
