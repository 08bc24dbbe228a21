#pragma once

#include "views/design/tovalit_badge_tone.h"
#include "views/design/tovalit_page_scroll_view.h"

namespace tovalit {

class AppConfigurationStore;
class PermissionCoordinator;
class TovalitBadge;
class TovalitMetricCard;
class TovalitSymbolView;
class TovalitTextLabel;
class TranscriberViewModel;

// The home page: what the application is doing and what to press, at a
// glance. Read-only; every value is derived afresh from the controller,
// the settings and the permissions whenever one of them announces a
// change.
class MainPanelView : public TovalitPageScrollView {
    Q_OBJECT

public:
    // The three objects must outlive the page.
    MainPanelView(TranscriberViewModel &viewModel, AppConfigurationStore &configurationStore,
                  PermissionCoordinator &permissionCoordinator, QWidget *parent = nullptr);

    // "仍需处理：" and the names of the missing permissions the current
    // shortcut needs, or that everything needed is ready.
    QString permissionSummary() const;

private:
    // The parts of one mode card that change.
    struct ModeCard {
        TovalitBadge *badge = nullptr;
        TovalitTextLabel *detail = nullptr;
    };

    QWidget *makeStatusCard();
    QWidget *makeSummaryGrid();
    QWidget *makeModeOverviewCard();
    QWidget *makeModeCard(const QString &icon, const QString &title, const QString &status,
                          TovalitBadgeTone statusTone, const QString &summary,
                          const QString &detail, ModeCard &parts);
    // Every permission the current shortcut needs.
    bool allPermissionsGranted() const;
    void render();

    TranscriberViewModel &m_viewModel;
    AppConfigurationStore &m_configurationStore;
    PermissionCoordinator &m_permissionCoordinator;

    TovalitBadge *m_recordingBadge = nullptr;
    TovalitBadge *m_permissionBadge = nullptr;
    TovalitTextLabel *m_statusLine = nullptr;
    TovalitMetricCard *m_shortcutCard = nullptr;
    TovalitMetricCard *m_permissionCard = nullptr;
    TovalitMetricCard *m_deliveryCard = nullptr;
    ModeCard m_naturalCard;
    ModeCard m_minutesCard;
};

} // namespace tovalit
