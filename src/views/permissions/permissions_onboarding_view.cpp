#include "views/permissions/permissions_onboarding_view.h"

#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"
#include "state/app_launch_coordinator.h"
#include "support/spawn.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_glass_surface.h"
#include "views/design/tovalit_page_layout.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"
#include "views/permissions/permission_row.h"

#include <QHBoxLayout>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>

namespace tovalit {

namespace {

const int cardPadding = int(TovalitTokens::Spacing::lg);

std::pair<TovalitGlassSurface *, QVBoxLayout *> card(int padding, int spacing) {
    auto *surface = new TovalitGlassSurface(TovalitGlassLevel::prominentCard());
    auto *column = new QVBoxLayout(surface);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(spacing);
    return {surface, column};
}

TovalitTextLabel *secondaryText(const QString &text, QWidget *parent) {
    return new TovalitTextLabel(text, TovalitTextStyle::subheadline(), TovalitPalette::secondary(),
                                parent);
}

TovalitTextLabel *headline(const QString &text, QWidget *parent) {
    auto *label =
        new TovalitTextLabel(text, TovalitTextStyle::headline(), TovalitPalette::primary(), parent);
    label->setWraps(false);
    return label;
}

} // namespace

PermissionsOnboardingView::PermissionsOnboardingView(
    PermissionCoordinator &permissionCoordinator, AppLaunchCoordinator &launchCoordinator,
    const AppConfigurationStore &configurationStore, QWidget *parent)
    : TovalitPageScrollView(parent)
    , m_permissionCoordinator(permissionCoordinator)
    , m_launchCoordinator(launchCoordinator)
    , m_configurationStore(configurationStore) {
    setObjectName(QStringLiteral("PermissionsOnboardingView"));
    addSection(makeHeaderCard());
    m_unreadSettingsCard = makeUnreadSettingsCard();
    addSection(m_unreadSettingsCard);
    addSection(makeProgressCard());
    m_troubleshootingCard = makeTroubleshootingCard();
    addSection(m_troubleshootingCard);

    auto *rows = new QWidget;
    rows->setObjectName(QStringLiteral("permissionRows"));
    m_permissionRows = new QVBoxLayout(rows);
    m_permissionRows->setContentsMargins(0, 0, 0, 0);
    m_permissionRows->setSpacing(14);
    addSection(rows);
    addSection(makeActionRow());

    connect(&permissionCoordinator, &PermissionCoordinator::statesChanged, this, [this] {
        rebuildPermissionRows();
        render();
    });
    connect(&permissionCoordinator, &PermissionCoordinator::isGuidedRequestInProgressChanged, this,
            &PermissionsOnboardingView::render);
    // Published again whenever the shortcut changes what is needed.
    connect(&launchCoordinator, &AppLaunchCoordinator::shouldShowPermissionsOnboardingChanged, this,
            &PermissionsOnboardingView::render);
    connect(&configurationStore, &AppConfigurationStore::storedSettingsReadAgain, this,
            &PermissionsOnboardingView::renderUnreadSettingsNotice);
    rebuildPermissionRows();
    render();
    renderUnreadSettingsNotice();
}

QString PermissionsOnboardingView::primaryActionTitle(const PermissionState &state) {
    switch (state.kind) {
    case PermissionKind::microphone:
        return state.status == PermissionAuthorizationState::notDetermined
                   ? QStringLiteral("下一步：检查麦克风")
                   : QStringLiteral("下一步：打开声音设置，选择输入设备");
    case PermissionKind::inputMonitoring:
        return QStringLiteral("下一步：查看如何开启键盘读取（input 组）");
    case PermissionKind::accessibility:
        return QStringLiteral("下一步：开启辅助技术支持（AT-SPI）");
    }
    return {};
}

void PermissionsOnboardingView::showEvent(QShowEvent *event) {
    TovalitPageScrollView::showEvent(event);
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    // The coordinator remembers that it asked, so showing the onboarding
    // again in this process asks nothing.
    PermissionCoordinator *coordinator = &m_permissionCoordinator;
    spawn(
        coordinator, [coordinator] { return coordinator->beginAutomaticPromptIfNeeded(); },
        QStringLiteral("automatic permission requests"));
}

QWidget *PermissionsOnboardingView::makeHeaderCard() {
    auto [surface, column] = card(cardPadding, 10);
    surface->setObjectName(QStringLiteral("headerCard"));
    column->addWidget(new TovalitTextLabel(QStringLiteral("先完成基础设置"),
                                           tovalitFont(22, QFont::Bold), TovalitPalette::primary(),
                                           surface));
    column->addWidget(new TovalitTextLabel(
        QStringLiteral("Tovalit "
                       "会在第一次启动时检查这些设置。全部就绪后，快捷键录音、思考中清洗和自动写回"
                       "输入框才能形成完整闭环。"),
        TovalitTokens::FontStyle::body(), TovalitPalette::secondary(), surface));
    return surface;
}

QWidget *PermissionsOnboardingView::makeUnreadSettingsCard() {
    auto [surface, column] = card(cardPadding, 0);
    surface->setObjectName(QStringLiteral("unreadSettingsCard"));
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(new TovalitSymbolView(QStringLiteral("exclamationmark.triangle.fill"), 15,
                                         TovalitPalette::orange(), surface),
                   0, Qt::AlignTop);
    m_unreadSettingsNotice = secondaryText(QString(), surface);
    m_unreadSettingsNotice->setObjectName(QStringLiteral("unreadSettingsNotice"));
    row->addWidget(m_unreadSettingsNotice, 1);
    column->addLayout(row);
    return surface;
}

void PermissionsOnboardingView::renderUnreadSettingsNotice() {
    const std::optional<QString> notice = m_configurationStore.unreadSettingsNotice();
    m_unreadSettingsNotice->setText(notice.value_or(QString()));
    m_unreadSettingsCard->setVisible(notice.has_value());
}

QWidget *PermissionsOnboardingView::makeProgressCard() {
    auto [surface, column] = card(cardPadding, 12);
    surface->setObjectName(QStringLiteral("progressCard"));
    auto *countRow = new QHBoxLayout;
    countRow->addWidget(headline(QStringLiteral("设置进度"), surface));
    countRow->addStretch(1);
    m_progressCount = new TovalitTextLabel(QString(), tovalitFont(11, QFont::DemiBold),
                                           TovalitPalette::secondary(), surface);
    m_progressCount->setObjectName(QStringLiteral("progressCount"));
    m_progressCount->setWraps(false);
    countRow->addWidget(m_progressCount);
    column->addLayout(countRow);
    column->addWidget(
        secondaryText(QStringLiteral("建议顺序：麦克风 → 键盘读取 → 辅助技术。麦克风和辅助技术"
                                     "设置好后回到 Tovalit，页面会自动刷新；加入 input "
                                     "组后需要注销并重新登录才会生效。"),
                      surface));

    m_primaryButton =
        new TovalitButton(QString(), TovalitButton::Style::borderedProminent, surface);
    m_primaryButton->setObjectName(QStringLiteral("primaryGuidedButton"));
    column->addWidget(m_primaryButton, 0, Qt::AlignLeft);
    connect(m_primaryButton, &QPushButton::clicked, this,
            &PermissionsOnboardingView::runPrimaryAction);
    return surface;
}

QWidget *PermissionsOnboardingView::makeTroubleshootingCard() {
    auto [surface, column] = card(cardPadding, 8);
    surface->setObjectName(QStringLiteral("troubleshootingCard"));
    column->addWidget(headline(QStringLiteral("如果你已按步骤设置，但应用仍显示未就绪"), surface));
    column->addWidget(secondaryText(QStringLiteral("可以按下面顺序逐项排查："), surface));
    column->addWidget(secondaryText(
        QStringLiteral("1) 麦克风：在声音设置（GNOME“设置 → 声音”，KDE“系统设置 → 音频”，"
                       "或 pavucontrol 的“输入设备”）中确认已接入并选中输入设备，且 "
                       "PulseAudio/PipeWire 正在运行。\n"
                       "2) 键盘读取（仅 Fn 需要）：在终端运行 id -nG，确认其中有 "
                       "input；没有的话运行 sudo usermod -aG input $USER，然后注销并重新登录"
                       "（只重启 Tovalit 不够）。\n"
                       "3) 辅助技术：点“辅助技术”一行的“开启辅助技术”，或运行 gsettings set "
                       "org.gnome.desktop.interface toolkit-accessibility true，"
                       "之后重新打开要写入文字的应用。\n"
                       "4) 回到 Tovalit，点击“重新检查权限”。"),
        surface));
    return surface;
}

QWidget *PermissionsOnboardingView::makeActionRow() {
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("actionRow"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto *recheck =
        new TovalitButton(QStringLiteral("重新检查权限"), TovalitButton::Style::bordered, row);
    recheck->setObjectName(QStringLiteral("recheckButton"));
    m_requestButton = new TovalitButton(QStringLiteral("重新检查并自动开启"),
                                        TovalitButton::Style::bordered, row);
    m_requestButton->setObjectName(QStringLiteral("requestRequiredButton"));
    m_enterButton = new TovalitButton(QStringLiteral("进入 Tovalit"),
                                      TovalitButton::Style::borderedProminent, row);
    m_enterButton->setObjectName(QStringLiteral("enterButton"));
    m_bypassButton = new TovalitButton(QStringLiteral("先进入应用（稍后补权限）"),
                                       TovalitButton::Style::bordered, row);
    m_bypassButton->setObjectName(QStringLiteral("bypassButton"));
    layout->addWidget(recheck);
    layout->addWidget(m_requestButton);
    layout->addStretch(1);
    layout->addWidget(m_enterButton);
    layout->addWidget(m_bypassButton);

    PermissionCoordinator *coordinator = &m_permissionCoordinator;
    AppLaunchCoordinator *launch = &m_launchCoordinator;
    connect(recheck, &QPushButton::clicked, this, [coordinator] { coordinator->refreshStates(); });
    connect(m_requestButton, &QPushButton::clicked, this, [coordinator] {
        spawn(
            coordinator, [coordinator] { return coordinator->requestRequiredPermissions(); },
            QStringLiteral("request required permissions"));
    });
    // Leaving the onboarding replaces this view; the launch coordinator
    // outlives it.
    connect(m_enterButton, &QPushButton::clicked, launch,
            [launch] { launch->continueToClient(false); });
    connect(m_bypassButton, &QPushButton::clicked, launch,
            [launch] { launch->continueToClient(true); });
    return row;
}

void PermissionsOnboardingView::rebuildPermissionRows() {
    QWidget *rows = m_permissionRows->parentWidget();
    clearLayoutLater(m_permissionRows);
    for (const PermissionState &state : m_permissionCoordinator.states()) {
        m_permissionRows->addWidget(new PermissionRow(state, PermissionRow::Placement::onboarding,
                                                      m_permissionCoordinator, rows));
    }
}

void PermissionsOnboardingView::runPrimaryAction() {
    const std::optional<PermissionState> pending = nextPendingNeededState();
    if (!pending)
        return;
    if (pending->kind == PermissionKind::inputMonitoring) {
        showInputGroupSteps();
        return;
    }
    PermissionCoordinator *coordinator = &m_permissionCoordinator;
    QPointer<PermissionsOnboardingView> view(this);
    const PermissionKind kind = pending->kind;
    // Busy from the click on, so a second click cannot start the step
    // again before its task runs.
    setHandlingPrimaryAction(true);
    spawn(
        coordinator,
        [coordinator, view, kind] { return performPrimaryAction(coordinator, view, kind); },
        QStringLiteral("primary guided permission action"));
}

void PermissionsOnboardingView::showInputGroupSteps() {
    // Its steps are already in its row: there is no settings page to open.
    auto *row = findChild<QWidget *>(QStringLiteral("permissionRow.") +
                                     rawValue(PermissionKind::inputMonitoring));
    if (!row)
        return;
    ensureWidgetVisible(row);
    if (auto *copy = row->findChild<QWidget *>(QStringLiteral("copyInputGroupCommandButton")))
        copy->setFocus(Qt::OtherFocusReason);
}

QCoro::Task<void>
PermissionsOnboardingView::performPrimaryAction(PermissionCoordinator *coordinator,
                                                QPointer<PermissionsOnboardingView> view,
                                                PermissionKind kind) {
    if (view)
        view->setHandlingPrimaryAction(true);
    co_await coordinator->performGuidedAction(kind);
    // The onboarding may have been left meanwhile.
    if (view)
        view->setHandlingPrimaryAction(false);
}

std::optional<PermissionState> PermissionsOnboardingView::nextPendingNeededState() const {
    for (const PermissionState &state : m_launchCoordinator.neededStates()) {
        if (!state.isGranted())
            return state;
    }
    return std::nullopt;
}

void PermissionsOnboardingView::setHandlingPrimaryAction(bool handling) {
    m_isHandlingPrimaryAction = handling;
    render();
}

void PermissionsOnboardingView::render() {
    const PermissionCoordinator &coordinator = m_permissionCoordinator;
    const QList<PermissionState> needed = m_launchCoordinator.neededStates();
    const auto granted =
        std::count_if(needed.begin(), needed.end(),
                      [](const PermissionState &state) { return state.isGranted(); });
    m_progressCount->setText(QString::number(granted) + QLatin1Char('/') +
                             QString::number(needed.size()));
    const std::optional<PermissionState> pending = nextPendingNeededState();
    m_primaryButton->setVisible(pending.has_value());
    if (pending)
        m_primaryButton->setText(primaryActionTitle(*pending));
    m_primaryButton->setEnabled(!coordinator.isGuidedRequestInProgress() &&
                                !m_isHandlingPrimaryAction);

    const bool allGranted = !pending;
    m_troubleshootingCard->setVisible(!allGranted);
    m_requestButton->setEnabled(!coordinator.isGuidedRequestInProgress());
    m_enterButton->setEnabled(allGranted);
    m_bypassButton->setVisible(!allGranted);
}

} // namespace tovalit
