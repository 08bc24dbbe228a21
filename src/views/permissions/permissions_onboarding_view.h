#pragma once

#include "models/permission_state.h"
#include "views/design/tovalit_page_scroll_view.h"

#include <QPointer>
#include <qcoro/qcorotask.h>

#include <optional>

class QPushButton;
class QVBoxLayout;

namespace tovalit {

class AppConfigurationStore;
class AppLaunchCoordinator;
class PermissionCoordinator;
class TovalitTextLabel;

// The first-run checklist of the three things Tovalit needs from the
// desktop: their states, the one next step to take among those the
// shortcut needs, a repair for each, advice for when they keep showing as
// missing, and the ways into the application. Shown the first time, it
// asks for every permission once per process. While the settings file
// cannot be read it says so first: that is why a user who finished the
// onboarding long ago sees it again.
class PermissionsOnboardingView : public TovalitPageScrollView {
    Q_OBJECT

public:
    // The coordinators and the store must outlive the view.
    PermissionsOnboardingView(PermissionCoordinator &permissionCoordinator,
                              AppLaunchCoordinator &launchCoordinator,
                              const AppConfigurationStore &configurationStore,
                              QWidget *parent = nullptr);

    // The guided button's title for the permission it would act on.
    static QString primaryActionTitle(const PermissionState &state);

    bool isHandlingPrimaryAction() const { return m_isHandlingPrimaryAction; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeHeaderCard();
    QWidget *makeUnreadSettingsCard();
    void renderUnreadSettingsNotice();
    QWidget *makeProgressCard();
    QWidget *makeTroubleshootingCard();
    QWidget *makeActionRow();
    void rebuildPermissionRows();
    void runPrimaryAction();
    void showInputGroupSteps();
    static QCoro::Task<void> performPrimaryAction(PermissionCoordinator *coordinator,
                                                  QPointer<PermissionsOnboardingView> view,
                                                  PermissionKind kind);
    std::optional<PermissionState> nextPendingNeededState() const;
    void setHandlingPrimaryAction(bool handling);
    void render();

    PermissionCoordinator &m_permissionCoordinator;
    AppLaunchCoordinator &m_launchCoordinator;
    const AppConfigurationStore &m_configurationStore;
    bool m_isHandlingPrimaryAction = false;
    bool m_hasAppeared = false;

    QWidget *m_unreadSettingsCard = nullptr;
    TovalitTextLabel *m_unreadSettingsNotice = nullptr;
    TovalitTextLabel *m_progressCount = nullptr;
    QPushButton *m_primaryButton = nullptr;
    QWidget *m_troubleshootingCard = nullptr;
    QVBoxLayout *m_permissionRows = nullptr;
    QPushButton *m_requestButton = nullptr;
    QPushButton *m_enterButton = nullptr;
    QPushButton *m_bypassButton = nullptr;
};

} // namespace tovalit
