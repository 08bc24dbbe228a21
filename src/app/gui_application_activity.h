#pragma once

#include "platform/application_activity.h"

namespace tovalit {

// Activation of this process's windows as the GUI application reports it.
class GuiApplicationActivity final : public ApplicationActivity {
    Q_OBJECT

public:
    explicit GuiApplicationActivity(QObject *parent = nullptr);

private:
    void handleStateChange(Qt::ApplicationState state);

    bool m_isActive = false;
};

} // namespace tovalit
