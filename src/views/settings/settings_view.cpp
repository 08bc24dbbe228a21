#include "views/settings/settings_view.h"

#include "models/transcriber_mode.h"
#include "services/permissions/permission_coordinator.h"
#include "services/settings/app_configuration_store.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_glass_surface.h"
#include "views/design/tovalit_notice_card.h"
#include "views/design/tovalit_page_layout.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_section_header.h"
#include "views/design/tovalit_switch.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/permissions/permission_row.h"
#include "views/settings/segmented_picker.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tovalit {

namespace {

TovalitTextLabel *captionLabel(const QString &text, QWidget *parent) {
    return new TovalitTextLabel(text, TovalitTextStyle::caption(), TovalitPalette::secondary(),
                                parent);
}

TovalitTextLabel *rowTitle(const QString &text, QWidget *parent) {
    auto *label = new TovalitTextLabel(text, tovalitFont(11, QFont::DemiBold),
                                       TovalitPalette::primary(), parent);
    label->setWraps(false);
    return label;
}

// A section: its header over its content, `spacing` apart.
QWidget *section(const QString &title, QWidget *content, int spacing) {
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    layout->addWidget(new TovalitSectionHeader(title, column));
    layout->addWidget(content);
    content->setParent(column);
    return column;
}

// A card of the ordinary glass, padded 18, its content in a column.
std::pair<TovalitGlassSurface *, QVBoxLayout *> card(int spacing) {
    auto *surface = new TovalitGlassSurface(TovalitGlassLevel::card());
    auto *column = new QVBoxLayout(surface);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(spacing);
    return {surface, column};
}

QFrame *divider(QWidget *parent) {
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 26); border: none;"));
    return line;
}

QCheckBox *checkBox(const QString &title, QWidget *parent) {
    auto *box = new QCheckBox(title, parent);
    box->setFont(tovalitFont(13));
    box->setCursor(Qt::PointingHandCursor);
    return box;
}

} // namespace

SettingsView::SettingsView(AppConfigurationStore &configurationStore,
                           PermissionCoordinator &permissionCoordinator,
                           ShortcutActivationState shortcutActivationState,
                           ShortcutSettingsView::Dependencies shortcutDependencies, QWidget *parent)
    : TovalitPageScrollView(parent)
    , m_configurationStore(configurationStore)
    , m_permissionCoordinator(permissionCoordinator) {
    setObjectName(QStringLiteral("SettingsView"));

    addSection(new TovalitNoticeCard(
        QStringLiteral(
            "Tovalit 默认保持明亮原生外观。这里主要控制语音引擎、落点策略、快捷键和权限状态。"),
        QStringLiteral("slider.horizontal.3"), TovalitBadgeTone::neutral));
    addSection(makeEngineSection());
    addSection(makeModeSection());
    addSection(makePermissionSection());
    m_shortcutCard = new ShortcutSettingsView(
        configurationStore, std::move(shortcutActivationState), std::move(shortcutDependencies));
    addSection(m_shortcutCard);
    addSection(makeGeneralSection());

    // The store announces every assignment, ours included.
    for (auto signal : {&AppConfigurationStore::meetingModeEnabledChanged,
                        &AppConfigurationStore::autoInsertIntoFocusedInputChanged,
                        &AppConfigurationStore::autoCopyFinalTextChanged,
                        &AppConfigurationStore::keepAudioFilesChanged})
        connect(&configurationStore, signal, this, &SettingsView::renderSettings);
    connect(&configurationStore, &AppConfigurationStore::preferredLocaleIdentifierChanged, this,
            &SettingsView::renderSettings);
    connect(&permissionCoordinator, &PermissionCoordinator::statesChanged, this,
            &SettingsView::rebuildPermissionRows);
    rebuildPermissionRows(permissionCoordinator.states());
    renderSettings();
}

void SettingsView::setShortcutActivationState(const ShortcutActivationState &state) {
    m_shortcutCard->setActivationState(state);
}

void SettingsView::setShortcutRoute(const ShortcutRoute &route) {
    m_shortcutCard->setRoute(route);
}

void SettingsView::showEvent(QShowEvent *event) {
    TovalitPageScrollView::showEvent(event);
    // Whenever the user opens the page, the rows show the system's state
    // of that moment (not when the window merely comes back from the
    // task bar).
    if (!event->spontaneous())
        m_permissionCoordinator.refreshStates();
}

QWidget *SettingsView::makeEngineSection() {
    auto [surface, column] = card(12);
    auto *labelRow = new QHBoxLayout;
    labelRow->setSpacing(6);
    labelRow->addWidget(new TovalitSymbolView(QStringLiteral("waveform.badge.mic"), 11,
                                              TovalitPalette::primary(), surface));
    labelRow->addWidget(rowTitle(QStringLiteral("当前版本固定使用Vellup流式 ASR 2.0"), surface));
    labelRow->addStretch(1);
    column->addLayout(labelRow);
    column->addWidget(captionLabel(
        QStringLiteral("凭证已内置在当前产品中，不在设置页展示；后续如果要扩展多套 API "
                       "key，再统一做管理面板。"),
        surface));
    return section(QStringLiteral("语音引擎"), surface, 14);
}

QWidget *SettingsView::makeModeSection() {
    auto [surface, column] = card(16);

    auto *natural = new QVBoxLayout;
    natural->setSpacing(8);
    auto *naturalRow = new QHBoxLayout;
    naturalRow->setSpacing(8);
    naturalRow->addWidget(new TovalitSymbolView(QStringLiteral("text.bubble"), 11,
                                                TovalitPalette::brandStrong(), surface));
    naturalRow->addWidget(rowTitle(displayName(TranscriberMode::natural), surface));
    naturalRow->addWidget(
        new TovalitBadge(QStringLiteral("当前使用"), TovalitBadgeTone::brand, surface));
    naturalRow->addStretch(1);
    natural->addLayout(naturalRow);
    natural->addWidget(captionLabel(
        QStringLiteral("录音结束后自动帮你把话说顺：去掉口头禅和重复，轻微润色让句子通顺，"
                       "保留你说话的原意和人称。短句直接输出，口述列表会整理成无标题清单。"),
        surface));
    column->addLayout(natural);
    column->addWidget(divider(surface));

    auto *meeting = new QVBoxLayout;
    meeting->setSpacing(8);
    auto *meetingRow = new QHBoxLayout;
    meetingRow->setSpacing(8);
    m_meetingSymbol = new TovalitSymbolView(QStringLiteral("list.bullet.rectangle"), 11,
                                            TovalitPalette::brandStrong(), surface);
    m_meetingSymbol->setObjectName(QStringLiteral("meetingModeSymbol"));
    meetingRow->addWidget(m_meetingSymbol);
    meetingRow->addWidget(rowTitle(displayName(TranscriberMode::meeting), surface));
    m_meetingBadge = new TovalitBadge(QString(), TovalitBadgeTone::brand, surface);
    m_meetingBadge->setObjectName(QStringLiteral("meetingModeBadge"));
    meetingRow->addWidget(m_meetingBadge);
    meetingRow->addStretch(1);
    meeting->addLayout(meetingRow);
    meeting->addWidget(captionLabel(
        QStringLiteral("适合长录音和会议场景。开启后，录音超过 1 分钟会先弹出 10 "
                       "秒倒计时，不取消时自动展开为会议纪要面板，按分钟累积时间脉络。"),
        surface));
    m_meetingSwitch = new TovalitSwitch(QStringLiteral("长录音自动进入会议纪要模式"), surface);
    m_meetingSwitch->setObjectName(QStringLiteral("meetingModeSwitch"));
    meeting->addWidget(m_meetingSwitch);
    column->addLayout(meeting);

    AppConfigurationStore *store = &m_configurationStore;
    connect(m_meetingSwitch, &TovalitSwitch::toggled, this,
            [store](bool on) { store->setMeetingModeEnabled(on); });
    return section(QStringLiteral("整理模式"), surface, 14);
}

QWidget *SettingsView::makePermissionSection() {
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(new TovalitSectionHeader(QStringLiteral("权限"), column));

    auto *rows = new QWidget(column);
    rows->setObjectName(QStringLiteral("permissionRows"));
    m_permissionRows = new QVBoxLayout(rows);
    m_permissionRows->setContentsMargins(0, 0, 0, 0);
    m_permissionRows->setSpacing(12);
    layout->addWidget(rows);

    auto *recheckRow = new QHBoxLayout;
    recheckRow->addStretch(1);
    auto *recheck =
        new TovalitButton(QStringLiteral("重新检查"), TovalitButton::Style::bordered, column);
    recheck->setObjectName(QStringLiteral("recheckPermissionsButton"));
    recheckRow->addWidget(recheck);
    layout->addLayout(recheckRow);

    PermissionCoordinator *coordinator = &m_permissionCoordinator;
    connect(recheck, &QPushButton::clicked, this, [coordinator] { coordinator->refreshStates(); });
    return column;
}

void SettingsView::rebuildPermissionRows(const QList<PermissionState> &states) {
    QWidget *rows = m_permissionRows->parentWidget();
    clearLayoutLater(m_permissionRows);
    for (const PermissionState &state : states) {
        m_permissionRows->addWidget(new PermissionRow(state, PermissionRow::Placement::settings,
                                                      m_permissionCoordinator, rows));
    }
}

QWidget *SettingsView::makeGeneralSection() {
    auto [surface, column] = card(12);
    m_localePicker = new SegmentedPicker(QStringLiteral("识别语言"),
                                         {{QStringLiteral("中文"), QStringLiteral("zh-CN")},
                                          {QStringLiteral("English"), QStringLiteral("en-US")}},
                                         surface);
    m_localePicker->setObjectName(QStringLiteral("localePicker"));
    column->addWidget(m_localePicker);
    m_insertToggle = checkBox(QStringLiteral("整理后自动插入当前焦点输入框"), surface);
    m_insertToggle->setObjectName(QStringLiteral("autoInsertToggle"));
    m_copyToggle = checkBox(QStringLiteral("整理后自动复制到剪贴板"), surface);
    m_copyToggle->setObjectName(QStringLiteral("autoCopyToggle"));
    m_keepAudioToggle = checkBox(QStringLiteral("保留本地录音文件"), surface);
    m_keepAudioToggle->setObjectName(QStringLiteral("keepAudioToggle"));
    column->addWidget(m_insertToggle);
    column->addWidget(m_copyToggle);
    column->addWidget(m_keepAudioToggle);

    AppConfigurationStore *store = &m_configurationStore;
    connect(m_localePicker, &SegmentedPicker::valueChosen, this,
            [store](const QString &value) { store->setPreferredLocaleIdentifier(value); });
    connect(m_insertToggle, &QCheckBox::toggled, this,
            [store](bool on) { store->setAutoInsertIntoFocusedInput(on); });
    connect(m_copyToggle, &QCheckBox::toggled, this,
            [store](bool on) { store->setAutoCopyFinalText(on); });
    connect(m_keepAudioToggle, &QCheckBox::toggled, this,
            [store](bool on) { store->setKeepAudioFiles(on); });
    return section(QStringLiteral("转写与落点"), surface, 14);
}

void SettingsView::renderSettings() {
    const AppConfigurationStore &store = m_configurationStore;
    const bool meeting = store.meetingModeEnabled();
    {
        const QSignalBlocker blocker(m_meetingSwitch);
        m_meetingSwitch->setChecked(meeting);
    }
    m_meetingSwitch->update();
    m_meetingSymbol->setSymbol(QStringLiteral("list.bullet.rectangle"),
                               meeting ? TovalitPalette::brandStrong()
                                       : TovalitPalette::secondary());
    m_meetingBadge->setTitle(meeting ? QStringLiteral("默认开启") : QStringLiteral("已关闭"));
    m_meetingBadge->setTone(meeting ? TovalitBadgeTone::brand : TovalitBadgeTone::neutral);

    m_localePicker->setValue(store.preferredLocaleIdentifier());
    for (auto [box, value] : {std::pair{m_insertToggle, store.autoInsertIntoFocusedInput()},
                              std::pair{m_copyToggle, store.autoCopyFinalText()},
                              std::pair{m_keepAudioToggle, store.keepAudioFiles()}}) {
        const QSignalBlocker blocker(box);
        box->setChecked(value);
    }
}

} // namespace tovalit
