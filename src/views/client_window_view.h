#pragma once

#include "views/client_window_section.h"
#include "views/settings/shortcut_settings_view.h"

#include <QWidget>

#include <optional>

class QAbstractAnimation;
class QGraphicsOpacityEffect;
class QLabel;
class QParallelAnimationGroup;
class QPushButton;
class QVariantAnimation;
class QVBoxLayout;

namespace tovalit {

class AppConfigurationStore;
class ClientWindowToastView;
class PermissionCoordinator;
class SidebarRow;
class TranscriberViewModel;

// The main window's content once the onboarding is over: a sidebar of the
// five sections, and a detail column with the section's title, the record
// button (on the home section only) and the section's page, over which the
// controller's toasts slide in. Only the selected section is kept: it
// starts at home and is never saved.
class ClientWindowView : public QWidget {
    Q_OBJECT

public:
    struct Dependencies {
        // What the settings page's shortcut card records with.
        ShortcutSettingsView::Dependencies shortcutSettings;
    };

    // The three objects must outlive the window content.
    ClientWindowView(TranscriberViewModel &viewModel, AppConfigurationStore &configurationStore,
                     PermissionCoordinator &permissionCoordinator, Dependencies dependencies,
                     QWidget *parent = nullptr);
    ~ClientWindowView() override;

    std::optional<ClientWindowSection> selection() const { return m_selection; }
    // As a click on a sidebar row does; empty shows the home page with no
    // row highlighted.
    void setSelection(std::optional<ClientWindowSection> selection);

    // The page of the shown section.
    QWidget *currentPage() const { return m_page; }
    // Null while no toast shows (or while one is leaving).
    ClientWindowToastView *toastView() const;
    // How a toast that replaces a shown one changes into it.
    QAbstractAnimation *toastChange() const;
    QPushButton *recordButton() const { return m_recordButton; }
    // The end of the header, where the window puts its menu button when it
    // offers one (a box layout); hidden, taking no room, while it holds
    // nothing shown.
    QWidget *headerAccessoryPlace() const { return m_headerAccessoryPlace; }
    // "mic.circle.fill" or "stop.circle.fill".
    QString recordButtonSymbol() const { return m_recordButtonSymbol; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *makeSidebar();
    QWidget *makeDetailColumn();
    QWidget *makePage(ClientWindowSection section);
    ClientWindowSection shownSection() const;
    void showPage();
    void renderHeader();
    void toggleRecording();
    void handleToast();
    void placeToast();
    void animateToast(bool entering);
    void beginToastChange();
    void setDrawsToasts(bool draws);

    TranscriberViewModel &m_viewModel;
    AppConfigurationStore &m_configurationStore;
    PermissionCoordinator &m_permissionCoordinator;
    Dependencies m_dependencies;
    std::optional<ClientWindowSection> m_selection = ClientWindowSection::home;

    QList<SidebarRow *> m_rows;
    QLabel *m_headerTitle = nullptr;
    QPushButton *m_recordButton = nullptr;
    QString m_recordButtonSymbol;
    QWidget *m_headerAccessoryPlace = nullptr;
    QWidget *m_contentArea = nullptr;
    QVBoxLayout *m_contentLayout = nullptr;
    QWidget *m_page = nullptr;
    std::optional<ClientWindowSection> m_pageSection;

    // The toast rides on a host that fades and slides; the toast's own
    // glass keeps its shadow.
    QWidget *m_toastHost = nullptr;
    QGraphicsOpacityEffect *m_toastOpacity = nullptr;
    ClientWindowToastView *m_toast = nullptr;
    QParallelAnimationGroup *m_toastAnimation = nullptr;
    bool m_toastLeaving = false;
    // A toast that replaces a shown one: the former's picture fades out
    // over it while the toast eases from the former's height to its own.
    QWidget *m_formerToast = nullptr;
    QVariantAnimation *m_toastChange = nullptr;
    int m_changeFromHeight = 0;
    // On screen, as the controller was told.
    bool m_drawsToasts = false;
};

} // namespace tovalit
