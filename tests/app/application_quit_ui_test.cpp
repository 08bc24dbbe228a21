// Quitting from the menu or by a signal (logout, kill) ends the application
// even while an editor sheet is open: the sheet turns down every close that
// does not come from its owner, and must not turn down the quit with it.

#include "app/legacy_menu_bar_controller.h"
#include "app/termination_signals.h"
#include "views/design/tovalit_sheet.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <csignal>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

// Runs the application's event loop with `quit` as its first event and
// answers whether the loop ended by it (a watchdog ends it otherwise).
bool loopEndsAfter(const std::function<void()> &quit) {
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QTimer::singleShot(0, quit);
    return QCoreApplication::exec() == 0;
}

TEST(ApplicationQuitTest, AnOpenSheetHoldsUpNeitherTheMenusQuitNorASignal) {
    QWidget window;
    window.show();
    auto *sheet = new TovalitSheet(QSize(300, 200), &window);
    sheet->open();
    ASSERT_TRUE(sheet->isVisible());

    LegacyMenuBarController controller;
    controller.startIfNeeded();
    ASSERT_NE(controller.menu(), nullptr);
    QAction *quitItem = controller.menu()->actions().constLast();
    ASSERT_EQ(quitItem->text(), QStringLiteral("退出"));
    EXPECT_TRUE(loopEndsAfter([quitItem] { quitItem->trigger(); }));

    quitOnTerminationSignals();
    EXPECT_TRUE(loopEndsAfter([] { std::raise(SIGTERM); }));
    EXPECT_TRUE(sheet->isVisible()) << "the sheet's owner was never asked to close it";
}

} // namespace
} // namespace tovalit
