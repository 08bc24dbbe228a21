#include "views/main_panel_view.h"

#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"
#include "state/transcriber_view_model.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_glass_surface.h"
#include "views/design/tovalit_metric_card.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_section_header.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>

namespace tovalit {

using namespace TovalitTokens;

MainPanelView::MainPanelView(TranscriberViewModel &viewModel,
                             AppConfigurationStore &configurationStore,
                             PermissionCoordinator &permissionCoordinator, QWidget *parent)
    : TovalitPageScrollView(parent)
    , m_viewModel(viewModel)
    , m_configurationStore(configurationStore)
    , m_permissionCoordinator(permissionCoordinator) {
    setObjectName(QStringLiteral("MainPanelView"));
    addSection(makeStatusCard());
    addSection(makeSummaryGrid());
    addSection(makeModeOverviewCard());

    // Whatever announces a change, everything shown is derived again: the
    // status line alone depends on seven published values.
    connect(&viewModel, &TranscriberViewModel::recordingStateChanged, this, &MainPanelView::render);
    connect(&viewModel, &TranscriberViewModel::shortcutActivationStateChanged, this,
            &MainPanelView::render);
    connect(&viewModel, &TranscriberViewModel::shortcutRouteChanged, this, &MainPanelView::render);
    connect(&viewModel, &TranscriberViewModel::meetingModeCountdownRemainingSecondsChanged, this,
            &MainPanelView::render);
    connect(&viewModel, &TranscriberViewModel::hasEnteredMeetingModeChanged, this,
            &MainPanelView::render);
    connect(&configurationStore, &AppConfigurationStore::shortcutConfigurationChanged, this,
            &MainPanelView::render);
    connect(&configurationStore, &AppConfigurationStore::autoInsertIntoFocusedInputChanged, this,
            &MainPanelView::render);
    connect(&configurationStore, &AppConfigurationStore::meetingModeEnabledChanged, this,
            &MainPanelView::render);
    connect(&permissionCoordinator, &PermissionCoordinator::statesChanged, this,
            &MainPanelView::render);
    render();
}

QWidget *MainPanelView::makeStatusCard() {
    auto *card = new TovalitGlassSurface(TovalitGlassLevel::prominentCard());
    card->setObjectName(QStringLiteral("statusCard"));
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(int(Spacing::lg), int(Spacing::lg), int(Spacing::lg),
                               int(Spacing::lg));
    column->setSpacing(int(Spacing::sm));

    auto *badges = new QHBoxLayout;
    badges->setSpacing(int(Spacing::xs));
    m_recordingBadge = new TovalitBadge(QString(), TovalitBadgeTone::brand, card);
    m_recordingBadge->setObjectName(QStringLiteral("recordingBadge"));
    m_permissionBadge = new TovalitBadge(QString(), TovalitBadgeTone::success, card);
    m_permissionBadge->setObjectName(QStringLiteral("permissionBadge"));
    badges->addWidget(m_recordingBadge);
    badges->addWidget(m_permissionBadge);
    badges->addStretch(1);
    column->addLayout(badges);

    m_statusLine = new TovalitTextLabel(QString(), tovalitFont(18, QFont::DemiBold),
                                        withOpacity(TovalitPalette::primary(), 0.92), card);
    m_statusLine->setObjectName(QStringLiteral("statusHint"));
    column->addWidget(m_statusLine);
    column->addWidget(
        new TovalitTextLabel(QStringLiteral("在写作、沟通和会议等工作场景中，随时唤起，开口成文。"),
                             FontStyle::body(), TovalitPalette::secondary(), card));
    return card;
}

QWidget *MainPanelView::makeSummaryGrid() {
    auto *grid = new QWidget;
    auto *row = new QHBoxLayout(grid);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(int(Spacing::sm));
    m_shortcutCard = new TovalitMetricCard(QStringLiteral("快捷键"), QString(), QString(),
                                           TovalitPalette::brandStrong(), grid);
    m_shortcutCard->setObjectName(QStringLiteral("shortcutMetric"));
    m_permissionCard = new TovalitMetricCard(QStringLiteral("权限状态"), QString(), QString(),
                                             TovalitPalette::brandStrong(), grid);
    m_permissionCard->setObjectName(QStringLiteral("permissionMetric"));
    m_deliveryCard = new TovalitMetricCard(QStringLiteral("文本落点"), QString(), QString(),
                                           TovalitPalette::brandStrong(), grid);
    m_deliveryCard->setObjectName(QStringLiteral("deliveryMetric"));
    for (TovalitMetricCard *card : {m_shortcutCard, m_permissionCard, m_deliveryCard})
        row->addWidget(card, 1, Qt::AlignTop);
    return grid;
}

QWidget *MainPanelView::makeModeOverviewCard() {
    auto *overview = new QWidget;
    overview->setObjectName(QStringLiteral("modeOverview"));
    auto *column = new QVBoxLayout(overview);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(int(Spacing::sm));
    column->addWidget(new TovalitSectionHeader(QStringLiteral("整理模式"), overview));
    auto *row = new QHBoxLayout;
    row->setSpacing(int(Spacing::sm));
    QWidget *natural = makeModeCard(
        QStringLiteral("text.bubble"), QStringLiteral("自然模式"), QStringLiteral("使用中"),
        TovalitBadgeTone::brand,
        QStringLiteral(
            "保留说话感，自动去填充词、去重复，轻微润色让句子更通顺。适合日常语音输入。"),
        QStringLiteral("短句直接输出；口述清单会整理成无标题列表。"), m_naturalCard);
    natural->setObjectName(QStringLiteral("naturalModeCard"));
    QWidget *minutes = makeModeCard(
        QStringLiteral("list.bullet.rectangle"), QStringLiteral("纪要模式"), QString(),
        TovalitBadgeTone::brand,
        QStringLiteral("录音超过阈值后可进入会议纪要模式，系统按 30 "
                       "秒判断是否向下延展时间树，并在结束后基于 ASR 原文生成完整纪要。"),
        QString(), m_minutesCard);
    minutes->setObjectName(QStringLiteral("minutesModeCard"));
    row->addWidget(natural, 1);
    row->addWidget(minutes, 1);
    column->addLayout(row);
    return overview;
}

QWidget *MainPanelView::makeModeCard(const QString &icon, const QString &title,
                                     const QString &status, TovalitBadgeTone statusTone,
                                     const QString &summary, const QString &detail,
                                     ModeCard &parts) {
    auto *card = new TovalitGlassSurface(TovalitGlassLevel::card());
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(int(Spacing::md), int(Spacing::md), int(Spacing::md),
                               int(Spacing::md));
    column->setSpacing(int(Spacing::xs));

    auto *heading = new QHBoxLayout;
    heading->setSpacing(8);
    heading->addWidget(new TovalitSymbolView(icon, 13, TovalitPalette::brandStrong(), card));
    auto *titleLabel =
        new TovalitTextLabel(title, FontStyle::cardTitle(), TovalitPalette::primary(), card);
    titleLabel->setWraps(false);
    heading->addWidget(titleLabel);
    parts.badge = new TovalitBadge(status, statusTone, card);
    heading->addWidget(parts.badge);
    heading->addStretch(1);
    column->addLayout(heading);

    column->addWidget(
        new TovalitTextLabel(summary, FontStyle::body(), TovalitPalette::secondary(), card));
    parts.detail =
        new TovalitTextLabel(detail, FontStyle::caption(), TovalitPalette::secondary(), card);
    column->addWidget(parts.detail);
    column->addStretch(1);
    return card;
}

bool MainPanelView::allPermissionsGranted() const {
    return everyNeededStateGranted(m_permissionCoordinator.states(),
                                   m_configurationStore.shortcutConfiguration().isFunctionKey());
}

QString MainPanelView::permissionSummary() const {
    const QList<PermissionState> states = m_permissionCoordinator.states();
    QStringList missing;
    for (const PermissionState &state :
         neededStates(states, m_configurationStore.shortcutConfiguration().isFunctionKey())) {
        if (!state.isGranted())
            missing << title(state.kind);
    }
    if (!missing.isEmpty())
        return QStringLiteral("仍需处理：") + missing.join(QStringLiteral("、"));
    const bool everyStateGranted =
        std::all_of(states.begin(), states.end(),
                    [](const PermissionState &state) { return state.isGranted(); });
    return everyStateGranted ? QStringLiteral("麦克风、键盘读取和辅助技术均已就绪")
                             : QStringLiteral("麦克风和辅助技术均已就绪；键盘读取仅 Fn 需要");
}

void MainPanelView::render() {
    const bool recording = m_viewModel.recordingState().is(RecordingState::Case::recording);
    const bool granted = allPermissionsGranted();
    const bool autoInsert = m_configurationStore.autoInsertIntoFocusedInput();
    const bool meetingMode = m_configurationStore.meetingModeEnabled();

    m_recordingBadge->setTitle(recording ? QStringLiteral("录音中") : QStringLiteral("待命中"));
    m_recordingBadge->setTone(recording ? TovalitBadgeTone::danger : TovalitBadgeTone::brand);
    m_permissionBadge->setTitle(granted ? QStringLiteral("权限已就绪")
                                        : QStringLiteral("权限待处理"));
    m_permissionBadge->setTone(granted ? TovalitBadgeTone::success : TovalitBadgeTone::warning);
    m_statusLine->setText(m_viewModel.statusHint());

    m_shortcutCard->setValues(QStringLiteral("快捷键"), m_viewModel.shortcutDisplayName(),
                              m_viewModel.shortcutActivationState().message,
                              TovalitPalette::brandStrong());
    m_permissionCard->setValues(
        QStringLiteral("权限状态"), granted ? QStringLiteral("已就绪") : QStringLiteral("需处理"),
        permissionSummary(), granted ? TovalitPalette::brandStrong() : TovalitPalette::orange());
    m_deliveryCard->setValues(
        QStringLiteral("文本落点"),
        autoInsert ? QStringLiteral("自动插入") : QStringLiteral("仅复制/预览"),
        autoInsert ? QStringLiteral("整理完成后会优先写回当前焦点输入框")
                   : QStringLiteral("本轮关闭自动插入，只保留文本预览"),
        autoInsert ? TovalitPalette::brandStrong() : TovalitPalette::secondary());

    m_minutesCard.badge->setTitle(meetingMode ? QStringLiteral("已开启")
                                              : QStringLiteral("已关闭"));
    m_minutesCard.badge->setTone(meetingMode ? TovalitBadgeTone::brand : TovalitBadgeTone::neutral);
    m_minutesCard.detail->setText(
        meetingMode
            ? QStringLiteral("录音超过 1 分钟后会先弹 10 秒倒计时，再自动进入展开纪要面板。")
            : QStringLiteral("当前已关闭自动进入；会议模式不会在长录音中自动弹出。"));
}

} // namespace tovalit
