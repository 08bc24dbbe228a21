#include "state/transcriber_view_model.h"

#include "models/instruction_library_catalog.h"
#include "platform/linux/freedesktop_file_viewer.h"
#include "services/gateway/gateway_session_providing.h"
#include "services/history/history_store.h"
#include "services/lexicon/personal_lexicon_event_logging.h"
#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "state/history/history_keeper.h"
#include "state/instructions/instruction_library_keeper.h"
#include "state/meeting/meeting_mode.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shell/app_toasts.h"
#include "state/shell/settings_watch.h"
#include "support/app_error.h"

#include <QPointer>

#include <utility>

namespace tovalit {

TranscriberViewModel::TranscriberViewModel(
    AppConfigurationStore &configurationStore,
    std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
    std::shared_ptr<PersonalLexiconStore> personalLexiconStore, Dependencies dependencies,
    QObject *parent)
    : QObject(parent)
    , m_configurationStore(configurationStore)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_waveformLevels(idleWaveformLevels())
    , m_builtinInstructionLibraryEntries(
          InstructionLibraryCatalog::defaultBuiltinTemplatePack().entries)
    , m_shortcutActivationState(
          ShortcutActivationState::degraded(QStringLiteral("正在检查快捷键和键盘读取"))) {
    Q_ASSERT(m_floatingPanelCoordinator && personalLexiconStore);
    const bool shouldBootstrap = dependencies.shouldBootstrap;
    compose(std::move(dependencies), std::move(personalLexiconStore));
    installSubscriptions(shouldBootstrap);
}

TranscriberViewModel::TranscriberViewModel(
    AppConfigurationStore &configurationStore,
    std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
    std::shared_ptr<PersonalLexiconStore> personalLexiconStore, QObject *parent)
    : TranscriberViewModel(configurationStore, std::move(floatingPanelCoordinator),
                           std::move(personalLexiconStore), Dependencies(), parent) {}

TranscriberViewModel::~TranscriberViewModel() {
    // Lexicon syncs and history learning hold the session service past us.
    m_gatewayRecovery->sessionService().abandon();
}

// --- Subscriptions and bootstrap ----------------------------------------------

void TranscriberViewModel::installSubscriptions(bool shouldBootstrap) {
    m_settingsWatch->watchMeetingMode(
        [this](bool enabled) { m_meeting->handleMeetingModeToggleChange(enabled); });
    // A notice that outlives its truth would have the user believe the
    // defaults are in use when the file has been read.
    connect(&m_configurationStore, &AppConfigurationStore::storedSettingsReadAgain, this, [this] {
        if (const auto notice = std::exchange(m_unreadSettingsNotice, std::nullopt))
            m_appToasts->reviseNotice(*notice, AppConfigurationStore::settingsReadAgainNotice());
    });
    // Only the log knew a change was lost until now: the user learns it
    // while the app still runs and the disk can be freed.
    connect(&m_configurationStore, &AppConfigurationStore::settingsCouldNotBeSaved, this,
            [this](const QString &notice) {
                m_unsavedSettingsNotice = notice;
                showAppNotice(notice);
            });
    connect(&m_configurationStore, &AppConfigurationStore::settingsSavedAgain, this, [this] {
        if (const auto notice = std::exchange(m_unsavedSettingsNotice, std::nullopt))
            m_appToasts->reviseNotice(*notice, AppConfigurationStore::settingsSavedAgainNotice());
    });

    if (!shouldBootstrap)
        return;

    QPointer<TranscriberViewModel> self(this);
    m_hotkeyMonitor->setOnTrigger([self] {
        if (self)
            self->handleHotkeyTrigger();
    });
    m_hotkeyMonitor->setOnActivationStateChange([self](const ShortcutActivationState &state) {
        if (self)
            self->setShortcutActivationState(state);
    });
    m_hotkeyMonitor->setOnRouteChange([self](const ShortcutRoute &route) {
        if (self)
            self->setShortcutRoute(route);
    });
    m_settingsWatch->watchShortcut(
        [this](const ShortcutConfiguration &shortcut) { m_hotkeyMonitor->start(shortcut); });

    spawn(
        this, [this] { return bootstrap(); }, QStringLiteral("bootstrap"));
}

QCoro::Task<void> TranscriberViewModel::bootstrap() {
    // Each load reports its own failure, so the next one always runs, but
    // only while the controller is there: the application may quit while
    // the day's history batch still waits on the network.
    const QPointer<TranscriberViewModel> alive(this);
    // The settings were the first thing this run read.
    m_unreadSettingsNotice = m_configurationStore.unreadSettingsNotice();
    if (m_unreadSettingsNotice)
        showAppNotice(*m_unreadSettingsNotice);
    co_await m_lexicon->loadPersonalLexicon();
    if (!alive)
        co_return;
    co_await m_instructionLibrary->load();
    if (!alive)
        co_return;
    co_await loadHistory();
    if (!alive)
        co_return;
    // Every load above has resolved the data folder by now.
    if (const std::optional<QString> notice = m_takeDataFolderMoveNotice()) {
        TovalitDebugLogger::log(QStringLiteral("data_folder.move"), *notice);
        showAppNotice(*notice);
    }
    // Last, and in the background: the network may take minutes, and the
    // user's instructions and history are needed at once. A lexicon that
    // is in step with the cloud costs no request.
    if (m_lexicon->isPersonalLexiconSyncDue()) {
        spawn(
            this, [this] { return m_lexicon->synchronizePersonalLexicon(std::nullopt); },
            QStringLiteral("start-up lexicon sync"));
    }
}

// --- Published state ------------------------------------------------------------

void TranscriberViewModel::setRecordingState(RecordingState value) {
    m_recordingState = std::move(value);
    Q_EMIT recordingStateChanged(m_recordingState);
}

void TranscriberViewModel::setLiveTranscript(QString value) {
    m_liveTranscript = std::move(value);
    Q_EMIT liveTranscriptChanged(m_liveTranscript);
}

void TranscriberViewModel::setFinalTranscript(QString value) {
    m_finalTranscript = std::move(value);
    Q_EMIT finalTranscriptChanged(m_finalTranscript);
}

void TranscriberViewModel::setRecords(QList<TranscriptRecord> value) {
    m_records = std::move(value);
    Q_EMIT recordsChanged(m_records);
}

void TranscriberViewModel::setWaveformLevels(QList<double> value) {
    m_waveformLevels = std::move(value);
    Q_EMIT waveformLevelsChanged(m_waveformLevels);
}

void TranscriberViewModel::setAppToast(std::optional<AppToastState> value) {
    publishAppToast(std::move(value));
    if (!m_appToast)
        m_appToasts->takenDown();
}

void TranscriberViewModel::setLastCopiedAt(std::optional<QDateTime> value) {
    m_lastCopiedAt = std::move(value);
    Q_EMIT lastCopiedAtChanged(m_lastCopiedAt);
}

void TranscriberViewModel::setLastResultMessage(std::optional<QString> value) {
    m_lastResultMessage = std::move(value);
    Q_EMIT lastResultMessageChanged(m_lastResultMessage);
}

void TranscriberViewModel::setPersonalLexiconEntries(QList<PersonalLexiconEntry> value) {
    m_personalLexiconEntries = std::move(value);
    Q_EMIT personalLexiconEntriesChanged(m_personalLexiconEntries);
}

void TranscriberViewModel::setBuiltinInstructionLibraryEntries(
    QList<InstructionLibraryEntry> value) {
    m_builtinInstructionLibraryEntries = std::move(value);
    Q_EMIT builtinInstructionLibraryEntriesChanged(m_builtinInstructionLibraryEntries);
}

void TranscriberViewModel::setInstructionLibraryEntries(QList<InstructionLibraryEntry> value) {
    m_instructionLibraryEntries = std::move(value);
    Q_EMIT instructionLibraryEntriesChanged(m_instructionLibraryEntries);
}

void TranscriberViewModel::setPersonalLexiconCloudState(PersonalLexiconCloudState value) {
    m_personalLexiconCloudState = std::move(value);
    Q_EMIT personalLexiconCloudStateChanged(m_personalLexiconCloudState);
}

void TranscriberViewModel::setPersonalLexiconHistoryLearningState(
    PersonalLexiconHistoryLearningState value) {
    m_personalLexiconHistoryLearningState = std::move(value);
    Q_EMIT personalLexiconHistoryLearningStateChanged(m_personalLexiconHistoryLearningState);
}

void TranscriberViewModel::setRecentLexiconLearningMessage(std::optional<QString> value) {
    m_recentLexiconLearningMessage = std::move(value);
    Q_EMIT recentLexiconLearningMessageChanged(m_recentLexiconLearningMessage);
}

void TranscriberViewModel::setShortcutActivationState(ShortcutActivationState value) {
    m_shortcutActivationState = std::move(value);
    Q_EMIT shortcutActivationStateChanged(m_shortcutActivationState);
}

void TranscriberViewModel::setShortcutRoute(ShortcutRoute value) {
    m_shortcutRoute = std::move(value);
    Q_EMIT shortcutRouteChanged(m_shortcutRoute);
}

void TranscriberViewModel::setHasEnteredMeetingMode(bool value) {
    const bool becameMeeting = value && !m_hasEnteredMeetingMode;
    m_hasEnteredMeetingMode = value;
    if (becameMeeting)
        m_session->keepRecordingBecameMeeting();
    Q_EMIT hasEnteredMeetingModeChanged(m_hasEnteredMeetingMode);
}

void TranscriberViewModel::setMeetingModeCountdownRemainingSeconds(std::optional<int> value) {
    m_meetingModeCountdownRemainingSeconds = value;
    Q_EMIT meetingModeCountdownRemainingSecondsChanged(m_meetingModeCountdownRemainingSeconds);
}

void TranscriberViewModel::setMeetingBlocks(QList<MeetingMinuteBlock> value) {
    m_meetingBlocks = std::move(value);
    Q_EMIT meetingBlocksChanged(m_meetingBlocks);
}

void TranscriberViewModel::setMeetingRawSegments(QList<MeetingASRSegment> value) {
    m_meetingRawSegments = std::move(value);
    Q_EMIT meetingRawSegmentsChanged(m_meetingRawSegments);
}

// --- Derived texts ----------------------------------------------------------------

QString TranscriberViewModel::shortcutDisplayName() const {
    // In a Wayland session the desktop decides the keys: those it reports
    // having bound, those its keyboard settings hold for our own custom
    // shortcut, or the user's own binding of our command, which we cannot
    // see.
    switch (m_shortcutRoute.way) {
    case ShortcutRoute::Way::desktopPortal:
    case ShortcutRoute::Way::desktopKeybinding:
        if (!m_shortcutRoute.desktopTrigger.isEmpty())
            return m_shortcutRoute.desktopTrigger;
        break;
    case ShortcutRoute::Way::desktopAction:
        return QStringLiteral("桌面设置的快捷键");
    case ShortcutRoute::Way::none:
    case ShortcutRoute::Way::keyGrab:
    case ShortcutRoute::Way::functionKeyDevice:
        break;
    }
    return m_configurationStore.shortcutConfiguration().displayName();
}

QString TranscriberViewModel::statusHint() const {
    const bool recording = m_recordingState.is(RecordingState::Case::recording);
    if (recording && m_meetingModeCountdownRemainingSeconds) {
        return QStringLiteral("检测到长录音，") +
               QString::number(*m_meetingModeCountdownRemainingSeconds) +
               QStringLiteral(" 秒后自动进入会议纪要模式；点右侧对勾可立即进入。");
    }
    if (recording && m_hasEnteredMeetingMode)
        return QStringLiteral("会议纪要模式进行中，正在每 ") +
               QString::number(m_meeting->meetingModeTimings().updateInterval) +
               QStringLiteral(" 秒检查一次是否需要扩展会议时间树。");
    if (m_shortcutActivationState.kind == ShortcutActivationState::Case::failed &&
        m_recordingState.is(RecordingState::Case::idle)) {
        return m_shortcutActivationState.message;
    }
    return m_recordingState.hint(shortcutDisplayName());
}

const QList<double> &TranscriberViewModel::idleWaveformLevels() {
    return DictationSession::idleWaveformLevels();
}

// --- Dictation ---------------------------------------------------------------------

QCoro::Task<void> TranscriberViewModel::toggleRecording() {
    return m_session->toggleRecording();
}

void TranscriberViewModel::handleHotkeyTrigger() {
    m_session->handleHotkeyTrigger();
}

void TranscriberViewModel::handleRecordingCommand(std::optional<double> secondsSinceLaunch) {
    if (m_hotkeyMonitor->isNewPressOfRecordingCommand(secondsSinceLaunch))
        handleHotkeyTrigger();
}

QCoro::Task<void> TranscriberViewModel::finishDictationBeforeQuit(double graceSeconds,
                                                                  CancelToken hurry) {
    return m_session->finishDictationBeforeQuit(graceSeconds, std::move(hurry));
}

void TranscriberViewModel::copyTranscript(const QString &text) {
    m_delivery->copyTranscript(text);
}

std::optional<QString> TranscriberViewModel::copyTranscriptSilently(const QString &text) {
    return m_delivery->copyTranscriptSilently(text);
}

} // namespace tovalit
