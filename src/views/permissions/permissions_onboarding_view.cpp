#include "views/permissions/permissions_onboarding_view.h"

#include "services/permissions/permission_coordinator.h"
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

PermissionsOnboardingView::PermissionsOnboardingView(PermissionCoordinator &permissionCoordinator,
                                                     AppLaunchCoordinator &launchCoordinator,
                                                     QWidget *parent)
    : TovalitPageScrollView(parent)
    , m_permissionCoordinator(permissionCoordinator)
    , m_launchCoordinator(launchCoordinator) {
    setObjectName(QStringLiteral("PermissionsOnboardingView"));
    addSection(makeHeaderCard());
    addSection(makeProgressCard());
    if (permissionCoordinator.isRunningFromDiskImage())
        addSection(makeDiskImageWarningCard());
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
    rebuildPermissionRows();
    render();
}

QString PermissionsOnboardingView::primaryActionTitle(const PermissionState &state) {
    switch (state.kind) {
    case PermissionKind::microphone:
        return state.status == PermissionAuthorizationState::notDetermined
                   ? QStringLiteral("下一步：请求麦克风授权")
                   : QStringLiteral("下一步：打开麦克风设置");
    case PermissionKind::inputMonitoring:
        return QStringLiteral("下一步：打开输入监控设置");
    case PermissionKind::accessibility:
        return QStringLiteral("下一步：打开辅助功能设置");
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
    column->addWidget(new TovalitTextLabel(QStringLiteral("先完成基础授权"),
                                           tovalitFont(22, QFont::Bold), TovalitPalette::primary(),
                                           surface));
    column->addWidget(new TovalitTextLabel(
        QStringLiteral("Tovalit "
                       "会在第一次启动时主动检查权限。授权完成后，快捷键录音、思考中清洗和自动写回"
                       "输入框才能形成完整闭环。"),
        TovalitTokens::FontStyle::body(), TovalitPalette::secondary(), surface));
    return surface;
}

QWidget *PermissionsOnboardingView::makeProgressCard() {
    auto [surface, column] = card(cardPadding, 12);
    surface->setObjectName(QStringLiteral("progressCard"));
    auto *countRow = new QHBoxLayout;
    countRow->addWidget(headline(QStringLiteral("授权进度"), surface));
    countRow->addStretch(1);
    m_progressCount = new TovalitTextLabel(QString(), tovalitFont(11, QFont::DemiBold),
                                           TovalitPalette::secondary(), surface);
    m_progressCount->setObjectName(QStringLiteral("progressCount"));
    m_progressCount->setWraps(false);
    countRow->addWidget(m_progressCount);
    column->addLayout(countRow);
    column->addWidget(
        secondaryText(QStringLiteral("建议顺序：麦克风 → 输入监控 → 辅助功能。每开启一项后回到 "
                                     "Tovalit，页面会自动刷新。"),
                      surface));

    m_primaryButton =
        new TovalitButton(QString(), TovalitButton::Style::borderedProminent, surface);
    m_primaryButton->setObjectName(QStringLiteral("primaryGuidedButton"));
    column->addWidget(m_primaryButton, 0, Qt::AlignLeft);
    connect(m_primaryButton, &QPushButton::clicked, this,
            &PermissionsOnboardingView::runPrimaryAction);
    return surface;
}

QWidget *PermissionsOnboardingView::makeDiskImageWarningCard() {
    auto *surface = new TovalitGlassSurface(TovalitGlassLevel::prominentCard());
    surface->setObjectName(QStringLiteral("diskImageWarningCard"));
    auto *row = new QHBoxLayout(surface);
    row->setContentsMargins(cardPadding, cardPadding, cardPadding, cardPadding);
    row->setSpacing(10);
    row->addWidget(new TovalitSymbolView(QStringLiteral("exclamationmark.triangle.fill"), 11,
                                         TovalitPalette::orange(), surface),
                   0, Qt::AlignTop);
    row->addWidget(
        secondaryText(QStringLiteral("当前从 DMG 挂载目录运行（/Volumes）。请先把 Tovalit "
                                     "拖到“应用程序”后再打开，否则权限状态可能反复显示未授权。"),
                      surface),
        1, Qt::AlignTop);
    return surface;
}

QWidget *PermissionsOnboardingView::makeTroubleshootingCard() {
    auto [surface, column] = card(cardPadding, 8);
    surface->setObjectName(QStringLiteral("troubleshootingCard"));
    column->addWidget(headline(QStringLiteral("如果你确认已授权但应用仍显示未授权"), surface));
    column->addWidget(secondaryText(
        QStringLiteral("这是 macOS 常见的权限记录残留问题。按下面顺序处理："), surface));
    column->addWidget(secondaryText(
        QStringLiteral("1) 先退出 Tovalit。\n"
                       "2) 系统设置 → 隐私与安全性 → 辅助功能 / 输入监控，删除旧的 Tovalit "
                       "条目后重新添加并勾选。\n"
                       "3) 麦克风页确认 Tovalit 仍为已允许。\n"
                       "4) 重新打开应用，点击“重新检查权限”。"),
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
    m_requestButton =
        new TovalitButton(QStringLiteral("继续请求必要权限"), TovalitButton::Style::bordered, row);
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
    PermissionCoordinator *coordinator = &m_permissionCoordinator;
    QPointer<PermissionsOnboardingView> view(this);
    // Busy from the click on, so a second click cannot start the step
    // again before its task runs.
    setHandlingPrimaryAction(true);
    spawn(
        coordinator, [coordinator, view] { return performPrimaryAction(coordinator, view); },
        QStringLiteral("primary guided permission action"));
}

QCoro::Task<void>
PermissionsOnboardingView::performPrimaryAction(PermissionCoordinator *coordinator,
                                                QPointer<PermissionsOnboardingView> view) {
    if (view)
        view->setHandlingPrimaryAction(true);
    co_await coordinator->performPrimaryGuidedAction();
    // The onboarding may have been left meanwhile.
    if (view)
        view->setHandlingPrimaryAction(false);
}

void PermissionsOnboardingView::setHandlingPrimaryAction(bool handling) {
    m_isHandlingPrimaryAction = handling;
    render();
}

void PermissionsOnboardingView::render() {
    const PermissionCoordinator &coordinator = m_permissionCoordinator;
    m_progressCount->setText(QString::number(coordinator.grantedRequiredCount()) +
                             QLatin1Char('/') + QString::number(coordinator.requiredCount()));
    const std::optional<PermissionState> pending = coordinator.nextPendingState();
    m_primaryButton->setVisible(pending.has_value());
    if (pending)
        m_primaryButton->setText(primaryActionTitle(*pending));
    m_primaryButton->setEnabled(!coordinator.isGuidedRequestInProgress() &&
                                !m_isHandlingPrimaryAction);

    const bool allGranted = coordinator.allRequiredGranted();
    m_troubleshootingCard->setVisible(!allGranted);
    m_requestButton->setEnabled(!coordinator.isGuidedRequestInProgress());
    m_enterButton->setEnabled(allGranted);
    m_bypassButton->setVisible(!allGranted);
}

} // namespace tovalit
