#include "app/gui_application_activity.h"

#include <QGuiApplication>

namespace tovalit {

GuiApplicationActivity::GuiApplicationActivity(QObject *parent)
    : ApplicationActivity(parent)
    , m_isActive(QGuiApplication::applicationState() == Qt::ApplicationActive) {
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            &GuiApplicationActivity::handleStateChange);
}

void GuiApplicationActivity::handleStateChange(Qt::ApplicationState state) {
    // Hidden, suspended and inactive all count as no longer active; only
    // the edges are reported.
    const bool isActive = state == Qt::ApplicationActive;
    if (isActive == m_isActive)
        return;
    m_isActive = isActive;
    if (isActive)
        Q_EMIT didBecomeActive();
    else
        Q_EMIT didResignActive();
}

} // namespace tovalit
