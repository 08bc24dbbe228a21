#include "app/gui_application_activity.h"

#include <QGuiApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(GuiApplicationActivity, ReportsOnlyTheEdgesOfBeingActive) {
    GuiApplicationActivity activity;
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    QSignalSpy active(&activity, &ApplicationActivity::didBecomeActive);
    QSignalSpy resigned(&activity, &ApplicationActivity::didResignActive);

    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(active.count(), 1);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationHidden);
    EXPECT_EQ(resigned.count(), 1);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(active.count(), 2);
}

} // namespace
} // namespace tovalit
