#include "views/settings/shortcut_settings_view.h"

#include "services/settings/app_configuration_store.h"
#include "services/shortcuts/desktop_keybinding.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "services/shortcuts/shortcut_recorder_service.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_section_header.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tovalit {

namespace {

TovalitTextLabel *captionLabel(const QString &text, QWidget *parent) {
    return new TovalitTextLabel(text, TovalitTextStyle::caption(), TovalitPalette::secondary(),
                                parent);
}

} // namespace

ShortcutSettingsView::ShortcutSettingsView(AppConfigurationStore &configurationStore,
                                           ShortcutActivationState activationState,
                                           Dependencies dependencies, QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::card(), parent)
    , m_configurationStore(configurationStore)
    , m_activationState(std::move(activationState))
    , m_dependencies(std::move(dependencies))
    , m_recorder(std::make_unique<ShortcutRecorderService>(m_dependencies.keyboard))
    , m_observedShortcut(configurationStore.shortcutConfiguration()) {
    Q_ASSERT(m_dependencies.functionKeySystemSettings);
    setObjectName(QStringLiteral("ShortcutSettingsView"));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);
    column->addWidget(new TovalitSectionHeader(QStringLiteral("快捷键"), this));

    auto *currentRow = new QHBoxLayout;
    auto *currentColumn = new QVBoxLayout;
    currentColumn->setSpacing(4);
    m_display = new TovalitTextLabel(QString(), tovalitFont(13, QFont::DemiBold),
                                     TovalitPalette::primary(), this);
    m_display->setObjectName(QStringLiteral("shortcutDisplay"));
    currentColumn->addWidget(m_display);
    currentColumn->addWidget(
        captionLabel(QStringLiteral("默认值是 Fn，也可以录制成自定义组合键。"), this));
    currentRow->addLayout(currentColumn, 1);
    m_restoreButton =
        new TovalitButton(QStringLiteral("恢复默认 Fn"), TovalitButton::Style::bordered, this);
    m_restoreButton->setObjectName(QStringLiteral("restoreDefaultButton"));
    currentRow->addWidget(m_restoreButton, 0, Qt::AlignVCenter);
    column->addLayout(currentRow);

    auto *recordRow = new QHBoxLayout;
    recordRow->setSpacing(10);
    m_recordButton = new TovalitButton(QString(), TovalitButton::Style::borderedProminent, this);
    m_recordButton->setObjectName(QStringLiteral("recordShortcutButton"));
    recordRow->addWidget(m_recordButton);
    recordRow->addStretch(1);
    column->addLayout(recordRow);

    m_helper = captionLabel(QString(), this);
    m_helper->setObjectName(QStringLiteral("recorderHelperText"));
    column->addWidget(m_helper);

    auto *activationRow = new QHBoxLayout;
    activationRow->setSpacing(8);
    m_activationSymbol = new TovalitSymbolView(QString(), 11, TovalitPalette::brandStrong(), this);
    m_activationSymbol->setObjectName(QStringLiteral("activationSymbol"));
    activationRow->addWidget(m_activationSymbol, 0, Qt::AlignVCenter);
    m_activationText = captionLabel(QString(), this);
    m_activationText->setObjectName(QStringLiteral("activationText"));
    activationRow->addWidget(m_activationText, 1, Qt::AlignVCenter);
    column->addLayout(activationRow);

    // The desktop-action way: the command to bind, to copy into the
    // desktop's keyboard settings.
    m_commandRow = new QWidget(this);
    m_commandRow->setObjectName(QStringLiteral("recordingCommandRow"));
    auto *commandRow = new QHBoxLayout(m_commandRow);
    commandRow->setContentsMargins(0, 0, 0, 0);
    commandRow->setSpacing(10);
    m_command = new QLabel(m_commandRow);
    m_command->setObjectName(QStringLiteral("recordingCommand"));
    m_command->setTextFormat(Qt::PlainText);
    m_command->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont commandFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    commandFont.setPixelSize(12);
    m_command->setFont(commandFont);
    commandRow->addWidget(m_command, 1);
    m_copyCommandButton =
        new TovalitButton(QStringLiteral("复制命令"), TovalitButton::Style::bordered, m_commandRow);
    m_copyCommandButton->setObjectName(QStringLiteral("copyRecordingCommandButton"));
    commandRow->addWidget(m_copyCommandButton, 0, Qt::AlignVCenter);
    column->addWidget(m_commandRow);

    // The offer to write our own custom shortcut into the desktop's
    // keyboard settings, or to write it again.
    m_keybindingRow = new QWidget(this);
    m_keybindingRow->setObjectName(QStringLiteral("desktopKeybindingRow"));
    auto *keybindingColumn = new QVBoxLayout(m_keybindingRow);
    keybindingColumn->setContentsMargins(0, 0, 0, 0);
    keybindingColumn->setSpacing(6);
    auto *keybindingRow = new QHBoxLayout;
    keybindingRow->setSpacing(10);
    m_keybindingCaption = captionLabel(QString(), m_keybindingRow);
    m_keybindingCaption->setObjectName(QStringLiteral("desktopKeybindingCaption"));
    keybindingRow->addWidget(m_keybindingCaption, 1, Qt::AlignVCenter);
    m_writeKeybindingButton =
        new TovalitButton(QString(), TovalitButton::Style::borderedProminent, m_keybindingRow);
    m_writeKeybindingButton->setObjectName(QStringLiteral("writeDesktopKeybindingButton"));
    keybindingRow->addWidget(m_writeKeybindingButton, 0, Qt::AlignVCenter);
    keybindingColumn->addLayout(keybindingRow);
    m_keybindingFeedback = captionLabel(QString(), m_keybindingRow);
    m_keybindingFeedback->setObjectName(QStringLiteral("desktopKeybindingFeedback"));
    m_keybindingFeedback->hide();
    keybindingColumn->addWidget(m_keybindingFeedback);
    column->addWidget(m_keybindingRow);

    m_systemMessage = captionLabel(QString(), this);
    m_systemMessage->setObjectName(QStringLiteral("functionKeySystemMessage"));
    column->addWidget(m_systemMessage);

    connect(m_recordButton, &QPushButton::clicked, this, &ShortcutSettingsView::toggleRecording);
    connect(m_restoreButton, &QPushButton::clicked, this, &ShortcutSettingsView::restoreDefault);
    connect(m_copyCommandButton, &QPushButton::clicked, this, &ShortcutSettingsView::copyCommand);
    connect(m_writeKeybindingButton, &QPushButton::clicked, this,
            &ShortcutSettingsView::writeDesktopKeybinding);
    connect(m_recorder.get(), &ShortcutRecorderService::isRecordingChanged, this,
            &ShortcutSettingsView::render);
    connect(m_recorder.get(), &ShortcutRecorderService::helperTextChanged, this,
            &ShortcutSettingsView::render);
    connect(&configurationStore, &AppConfigurationStore::shortcutConfigurationChanged, this,
            &ShortcutSettingsView::handleShortcutChange);
    render();
}

ShortcutSettingsView::~ShortcutSettingsView() {
    // The recorder goes with the card; its monitor must not outlive it.
    m_recorder->cancel();
}

void ShortcutSettingsView::setActivationState(const ShortcutActivationState &activationState) {
    m_activationState = activationState;
    renderActivationRow();
}

void ShortcutSettingsView::setRoute(const ShortcutRoute &route) {
    if (route.command != m_route.command)
        m_copyCommandButton->setText(QStringLiteral("复制命令"));
    if (route.way != m_route.way)
        m_keybindingFeedback->hide();
    m_route = route;
    renderActivationRow();
}

void ShortcutSettingsView::copyCommand() {
    QGuiApplication::clipboard()->setText(m_route.command);
    m_copyCommandButton->setText(QStringLiteral("已复制"));
}

void ShortcutSettingsView::writeDesktopKeybinding() {
    // The hotkey monitor hears of the write and tells the card what the
    // desktop's settings hold afterwards.
    try {
        m_dependencies.desktopKeybinding->hold(m_configurationStore.shortcutConfiguration());
        m_keybindingFeedback->hide();
    } catch (const DesktopKeyboardSettingsError &error) {
        m_keybindingFeedback->setText(QStringLiteral("写入失败：") + error.localizedDescription());
        m_keybindingFeedback->show();
    }
}

ShortcutActivationState ShortcutSettingsView::effectiveActivationState() const {
    switch (m_route.way) {
    case ShortcutRoute::Way::desktopPortal:
    case ShortcutRoute::Way::desktopKeybinding:
        // Working only on the desktop's word of the keys it bound.
        if (m_activationState.kind == ShortcutActivationState::Case::ready &&
            m_route.desktopTrigger.isEmpty())
            return ShortcutActivationState::degraded(m_activationState.message);
        return m_activationState;
    case ShortcutRoute::Way::desktopAction:
        // The command follows in a row of its own.
        return ShortcutActivationState::degraded(ShortcutRoute::desktopActionAdvice());
    case ShortcutRoute::Way::none:
    case ShortcutRoute::Way::keyGrab:
    case ShortcutRoute::Way::functionKeyDevice:
        break;
    }
    if (!m_configurationStore.shortcutConfiguration().isFunctionKey())
        return m_activationState;
    if (m_activationState.kind == ShortcutActivationState::Case::failed)
        return m_activationState;
    // Read afresh: a change made in the system settings shows at the next
    // redraw.
    return m_dependencies.functionKeySystemSettings->activationStateMessage();
}

void ShortcutSettingsView::showEvent(QShowEvent *event) {
    TovalitGlassSurface::showEvent(event);
    refreshFunctionKeyMessage();
    render();
}

void ShortcutSettingsView::toggleRecording() {
    if (m_recorder->isRecording()) {
        m_recorder->cancel();
        return;
    }
    AppConfigurationStore *store = &m_configurationStore;
    m_recorder->beginRecording([store](const ShortcutConfiguration &captured) {
        store->setShortcutConfiguration(captured);
    });
}

void ShortcutSettingsView::restoreDefault() {
    m_recorder->cancel();
    m_configurationStore.setShortcutConfiguration(ShortcutConfiguration::functionKey());
}

void ShortcutSettingsView::handleShortcutChange(const ShortcutConfiguration &configuration) {
    // The store announces every assignment; the Fn advice is read again
    // only when the shortcut really changed.
    if (configuration != m_observedShortcut) {
        m_observedShortcut = configuration;
        refreshFunctionKeyMessage();
    }
    render();
}

void ShortcutSettingsView::refreshFunctionKeyMessage() {
    m_functionKeySystemMessage = m_dependencies.functionKeySystemSettings->helperMessage();
    m_systemMessage->setText(m_functionKeySystemMessage);
}

void ShortcutSettingsView::render() {
    const ShortcutConfiguration shortcut = m_configurationStore.shortcutConfiguration();
    m_display->setText(shortcut.displayName());
    m_recordButton->setText(m_recorder->isRecording() ? QStringLiteral("取消录制")
                                                      : QStringLiteral("录制新快捷键"));
    const QString helper = m_recorder->helperText();
    m_helper->setText(helper);
    m_helper->setVisible(!helper.isEmpty());
    m_systemMessage->setVisible(shortcut.isFunctionKey());
    renderActivationRow();
}

void ShortcutSettingsView::renderActivationRow() {
    const ShortcutActivationState state = effectiveActivationState();
    const bool bindsCommand = m_route.way == ShortcutRoute::Way::desktopAction;
    if (state.kind == ShortcutActivationState::Case::ready)
        m_activationSymbol->setSymbol(QStringLiteral("checkmark.circle.fill"),
                                      TovalitPalette::brandStrong());
    else if (bindsCommand)
        // Nothing is wrong that we know of; we only cannot see the binding.
        m_activationSymbol->setSymbol(QStringLiteral("exclamationmark.circle.fill"),
                                      TovalitPalette::orange());
    else
        m_activationSymbol->setSymbol(QStringLiteral("exclamationmark.triangle.fill"),
                                      TovalitPalette::orange());
    m_activationText->setText(state.message);
    m_command->setText(m_route.command);
    m_commandRow->setVisible(bindsCommand);

    const ShortcutConfiguration shortcut = m_configurationStore.shortcutConfiguration();
    const bool offers = m_route.offersDesktopKeybinding && m_dependencies.desktopKeybinding &&
                        !shortcut.isFunctionKey();
    if (bindsCommand) {
        m_keybindingCaption->setText(
            QStringLiteral("也可以让 Tovalit 替你在桌面的键盘设置里添加这个自定义快捷键（%1），"
                           "之后可以在那里修改或删除。")
                .arg(shortcut.displayName()));
        m_writeKeybindingButton->setText(QStringLiteral("一键添加"));
    } else {
        m_keybindingCaption->setText(
            QStringLiteral("重新写入会把它改回 %1，并运行 Tovalit 的录音命令。")
                .arg(shortcut.displayName()));
        m_writeKeybindingButton->setText(QStringLiteral("重新写入"));
    }
    m_keybindingRow->setVisible(offers);
}

} // namespace tovalit
