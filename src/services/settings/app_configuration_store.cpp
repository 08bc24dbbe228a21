#include "services/settings/app_configuration_store.h"

#include "platform/bundle_values.h"
#include "platform/defaults_store.h"
#include "platform/linux/plist_bundle_values.h"
#include "services/settings/settings_save_problem.h"
#include "services/settings/tovalit_debug_logger.h"
#include "support/settling_file.h"
#include "support/textkit.h"

#include <QLocale>
#include <QProcessEnvironment>

#include <array>
#include <utility>

namespace tovalit {

namespace {

namespace key {
const QString onboarding = QStringLiteral("vellup_transcriber.hasCompletedPermissionsOnboarding");
const QString locale = QStringLiteral("vellup_transcriber.preferredLocaleIdentifier");
const QString autoInsert = QStringLiteral("vellup_transcriber.autoInsertIntoFocusedInput");
const QString autoCopy = QStringLiteral("vellup_transcriber.autoCopyFinalText");
const QString keepAudio = QStringLiteral("vellup_transcriber.keepAudioFiles");
const QString meetingMode = QStringLiteral("vellup_transcriber.meetingModeEnabled");
const QString resourceID = QStringLiteral("vellup_transcriber.vellupResourceID");
const QString microphone = QStringLiteral("vellup_transcriber.cachedMicrophonePermission");
const QString inputMonitoring =
    QStringLiteral("vellup_transcriber.cachedInputMonitoringPermission");
const QString accessibility = QStringLiteral("vellup_transcriber.cachedAccessibilityPermission");
const QString shortcut = QStringLiteral("vellup_transcriber.shortcutConfiguration");
const QString remoteDesktopRestoreToken =
    QStringLiteral("vellup_transcriber.remoteDesktopRestoreToken");
const QString remoteDesktopKeyboardRefused =
    QStringLiteral("vellup_transcriber.remoteDesktopKeyboardRefused");
} // namespace key

// Credentials that older versions kept in the user defaults.
const QStringList &legacyCredentialKeys() {
    static const QStringList keys{
        QStringLiteral("vellup_transcriber.vellupAppID"),
        QStringLiteral("vellup_transcriber.vellupAccessToken"),
        QStringLiteral("vellup_transcriber.vellupSecretKey"),
        QStringLiteral("vellup_transcriber.vellupAPIKey"),
        QStringLiteral("vellup_transcriber.vellupInstanceName"),
    };
    return keys;
}

PermissionAuthorizationState cachedPermission(const DefaultsStore &defaults, const QString &name) {
    const auto raw = defaults.string(name);
    return raw ? permissionAuthorizationStateFromRawValue(*raw).value_or(
                     PermissionAuthorizationState::notDetermined)
               : PermissionAuthorizationState::notDetermined;
}

// The persisted settings as the defaults hold them, each its default when
// absent.
struct StoredSettings {
    bool hasCompletedPermissionsOnboarding;
    QString preferredLocaleIdentifier;
    bool autoInsertIntoFocusedInput;
    bool autoCopyFinalText;
    bool keepAudioFiles;
    bool meetingModeEnabled;
    QString vellupResourceID;
    PermissionAuthorizationState cachedMicrophonePermission;
    PermissionAuthorizationState cachedInputMonitoringPermission;
    PermissionAuthorizationState cachedAccessibilityPermission;
    ShortcutConfiguration shortcutConfiguration;
};

StoredSettings readStoredSettings(const DefaultsStore &defaults) {
    return StoredSettings{
        defaults.boolean(key::onboarding).value_or(false),
        defaults.string(key::locale).value_or(QStringLiteral("zh-CN")),
        defaults.boolean(key::autoInsert).value_or(true),
        defaults.boolean(key::autoCopy).value_or(true),
        defaults.boolean(key::keepAudio).value_or(true),
        defaults.boolean(key::meetingMode).value_or(true),
        // Its lookup has no keys: the built-in default.
        defaults.string(key::resourceID)
            .value_or(QLatin1String(AppConfigurationStore::defaultResourceID)),
        cachedPermission(defaults, key::microphone),
        cachedPermission(defaults, key::inputMonitoring),
        cachedPermission(defaults, key::accessibility),
        AppConfigurationStore::loadShortcutConfiguration(defaults),
    };
}

AppConfigurationStore::Environment processEnvironment() {
    AppConfigurationStore::Environment environment;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString &name : system.keys())
        environment.insert(name, system.value(name));
    return environment;
}

// A service address: absolute http(s) with a host. A text with blanks or
// control characters anywhere (a pasted value with a trailing newline) is
// refused rather than repaired, so what is used is exactly what was set.
std::optional<QUrl> parseServiceURL(const QString &text) {
    if (text.isEmpty())
        return std::nullopt;
    for (const char32_t codePoint : textkit::codePoints(text)) {
        if (textkit::isWhitespace(codePoint) || codePoint < 0x20 || codePoint == 0x7F)
            return std::nullopt;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return std::nullopt;
    return url;
}

} // namespace

AppConfigurationStore::AppConfigurationStore(DefaultsStore &defaults,
                                             std::optional<Environment> environment,
                                             const BundleValues *bundle, Sleeper retrySleeper,
                                             QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_retrySleeper(retrySleeper ? std::move(retrySleeper) : systemSleeper()) {
    Environment primary;
    Environment secondary;
    if (environment) {
        primary = std::move(*environment);
    } else {
        primary = processEnvironment();
        const BundleValues &lists = bundle ? *bundle : PlistBundleValues::mainBundle();
        secondary = loadBundledConfiguration(lists, QStringLiteral("AppConfig"));
        const Environment secrets = loadBundledConfiguration(lists, QStringLiteral("AppSecrets"));
        for (auto it = secrets.constBegin(); it != secrets.constEnd(); ++it)
            secondary.insert(it.key(), it.value());
    }
    const auto lookup = [&](const QStringList &keys, const QString &fallback) {
        return firstNonEmptyValue(primary, secondary, keys, fallback);
    };

    if (const auto problem = m_defaults.loadProblem()) {
        m_unreadSettingsProblem = *problem;
        TovalitDebugLogger::log(QStringLiteral("settings.load"),
                                QStringLiteral("result=failed | error=") + *problem);
    }

    const StoredSettings stored = readStoredSettings(m_defaults);
    m_hasCompletedPermissionsOnboarding = stored.hasCompletedPermissionsOnboarding;
    m_preferredLocaleIdentifier = stored.preferredLocaleIdentifier;
    m_autoInsertIntoFocusedInput = stored.autoInsertIntoFocusedInput;
    m_autoCopyFinalText = stored.autoCopyFinalText;
    m_keepAudioFiles = stored.keepAudioFiles;
    m_meetingModeEnabled = stored.meetingModeEnabled;
    m_vellupResourceID = stored.vellupResourceID;
    m_shortcutConfiguration = stored.shortcutConfiguration;
    m_cachedMicrophonePermission = stored.cachedMicrophonePermission;
    m_cachedInputMonitoringPermission = stored.cachedInputMonitoringPermission;
    m_cachedAccessibilityPermission = stored.cachedAccessibilityPermission;

    m_gatewayBaseURLString = lookup({QStringLiteral("TOVALIT_GATEWAY_BASE_URL")}, QString());
    m_vellupAppID = lookup({}, QString());
    m_vellupAccessToken = lookup({}, QString());
    m_vellupSecretKey = lookup({}, QString());
    m_vellupFormatterChatURL = lookup({}, QString());
    m_vellupFormatterModel = lookup({}, QLatin1String(defaultFormatterModel));
    m_vellupFormatterAppID = lookup({}, QString());
    m_vellupFormatterAgentID = lookup({}, QString());
    m_vellupFormatterSecretKey = lookup({}, QString());
    m_volcengineOpenAPIAccessKeyID = lookup({}, QString());
    m_volcengineOpenAPISecretAccessKey = lookup({}, QString());
    m_volcengineOpenAPIHost = lookup({}, QString());

    m_remoteDesktopKeyboardRefused =
        m_defaults.boolean(key::remoteDesktopKeyboardRefused).value_or(false);
    // Whoever presents the token has the desktop's keyboard without the
    // user being asked; the settings file is no place for it.
    m_legacyRemoteDesktopRestoreToken =
        m_defaults.string(key::remoteDesktopRestoreToken).value_or(QString());
    if (m_defaults.contains(key::remoteDesktopRestoreToken))
        m_defaults.remove(key::remoteDesktopRestoreToken);

    for (const QString &legacy : legacyCredentialKeys())
        m_defaults.remove(legacy);
    synchronizeDefaults();
}

AppConfigurationStore::~AppConfigurationStore() {
    // The defaults would write the pending changes at their own end, with
    // nobody to tell whether the file let them.
    if (m_failedWrites == 0)
        return;
    m_writeRetry.cancel();
    if (const auto error = m_defaults.synchronize())
        TovalitDebugLogger::log(QStringLiteral("settings.save"),
                                QStringLiteral("result=failed | error=") + *error +
                                    QStringLiteral(" | unsaved=at-quit"));
    else
        TovalitDebugLogger::log(
            QStringLiteral("settings.save"),
            QStringLiteral("result=saved | after-failed=%1").arg(m_failedWrites));
}

std::optional<QString> AppConfigurationStore::unreadSettingsNotice() const {
    if (!m_unreadSettingsProblem)
        return std::nullopt;
    return QStringLiteral("无法读取设置文件（") + *m_unreadSettingsProblem +
           QStringLiteral("），本次使用默认设置，原文件未改动。");
}

QString AppConfigurationStore::settingsReadAgainNotice() {
    return QStringLiteral("已重新读取设置");
}

QString AppConfigurationStore::settingsSavedAgainNotice() {
    return QStringLiteral("设置已保存");
}

QString AppConfigurationStore::takeLegacyRemoteDesktopRestoreToken() {
    return std::exchange(m_legacyRemoteDesktopRestoreToken, QString());
}

void AppConfigurationStore::setRemoteDesktopKeyboardRefused(bool value) {
    m_remoteDesktopKeyboardRefused = value;
    m_defaults.setBoolean(key::remoteDesktopKeyboardRefused, value);
    synchronizeDefaults();
}

void AppConfigurationStore::setHasCompletedPermissionsOnboarding(bool value) {
    m_hasCompletedPermissionsOnboarding = value;
    m_assignedKeys.insert(key::onboarding);
    Q_EMIT hasCompletedPermissionsOnboardingChanged(value);
    save();
}

void AppConfigurationStore::setPreferredLocaleIdentifier(const QString &value) {
    m_preferredLocaleIdentifier = value;
    m_assignedKeys.insert(key::locale);
    Q_EMIT preferredLocaleIdentifierChanged(m_preferredLocaleIdentifier);
    save();
}

void AppConfigurationStore::setAutoInsertIntoFocusedInput(bool value) {
    m_autoInsertIntoFocusedInput = value;
    m_assignedKeys.insert(key::autoInsert);
    Q_EMIT autoInsertIntoFocusedInputChanged(value);
    save();
}

void AppConfigurationStore::setAutoCopyFinalText(bool value) {
    m_autoCopyFinalText = value;
    m_assignedKeys.insert(key::autoCopy);
    Q_EMIT autoCopyFinalTextChanged(value);
    save();
}

void AppConfigurationStore::setKeepAudioFiles(bool value) {
    m_keepAudioFiles = value;
    m_assignedKeys.insert(key::keepAudio);
    Q_EMIT keepAudioFilesChanged(value);
    save();
}

void AppConfigurationStore::setMeetingModeEnabled(bool value) {
    m_meetingModeEnabled = value;
    m_assignedKeys.insert(key::meetingMode);
    Q_EMIT meetingModeEnabledChanged(value);
    save();
}

void AppConfigurationStore::setVellupAppID(const QString &value) {
    m_vellupAppID = value;
    Q_EMIT vellupAppIDChanged(m_vellupAppID);
    save();
}

void AppConfigurationStore::setVellupAccessToken(const QString &value) {
    m_vellupAccessToken = value;
    Q_EMIT vellupAccessTokenChanged(m_vellupAccessToken);
    save();
}

void AppConfigurationStore::setVellupResourceID(const QString &value) {
    m_vellupResourceID = value;
    m_assignedKeys.insert(key::resourceID);
    Q_EMIT vellupResourceIDChanged(m_vellupResourceID);
    save();
}

void AppConfigurationStore::setVellupSecretKey(const QString &value) {
    m_vellupSecretKey = value;
    Q_EMIT vellupSecretKeyChanged(m_vellupSecretKey);
    save();
}

void AppConfigurationStore::setShortcutConfiguration(const ShortcutConfiguration &value) {
    m_shortcutConfiguration = value;
    m_assignedKeys.insert(key::shortcut);
    Q_EMIT shortcutConfigurationChanged(m_shortcutConfiguration);
    save();
}

void AppConfigurationStore::setCachedMicrophonePermission(PermissionAuthorizationState value) {
    m_cachedMicrophonePermission = value;
    m_assignedKeys.insert(key::microphone);
    Q_EMIT cachedMicrophonePermissionChanged(value);
    save();
}

void AppConfigurationStore::setCachedInputMonitoringPermission(PermissionAuthorizationState value) {
    m_cachedInputMonitoringPermission = value;
    m_assignedKeys.insert(key::inputMonitoring);
    Q_EMIT cachedInputMonitoringPermissionChanged(value);
    save();
}

void AppConfigurationStore::setCachedAccessibilityPermission(PermissionAuthorizationState value) {
    m_cachedAccessibilityPermission = value;
    m_assignedKeys.insert(key::accessibility);
    Q_EMIT cachedAccessibilityPermissionChanged(value);
    save();
}

void AppConfigurationStore::save() {
    // Only what was assigned in this run is the user's for certain. The
    // rest is what the start read, which may be our defaults in place of
    // the user's values: the file could not be read, or was read while an
    // outside writer (a copy from a backup, an editor, a sync tool) had
    // written half of it. Written back, they would replace the user's own.
    const auto put = [this](const QString &name, const auto &write) {
        if (m_assignedKeys.contains(name))
            write(name);
    };
    put(key::onboarding, [this](const QString &name) {
        m_defaults.setBoolean(name, m_hasCompletedPermissionsOnboarding);
    });
    put(key::locale,
        [this](const QString &name) { m_defaults.setString(name, m_preferredLocaleIdentifier); });
    put(key::autoInsert,
        [this](const QString &name) { m_defaults.setBoolean(name, m_autoInsertIntoFocusedInput); });
    put(key::autoCopy,
        [this](const QString &name) { m_defaults.setBoolean(name, m_autoCopyFinalText); });
    put(key::keepAudio,
        [this](const QString &name) { m_defaults.setBoolean(name, m_keepAudioFiles); });
    put(key::meetingMode,
        [this](const QString &name) { m_defaults.setBoolean(name, m_meetingModeEnabled); });
    put(key::resourceID,
        [this](const QString &name) { m_defaults.setString(name, m_vellupResourceID); });
    put(key::microphone, [this](const QString &name) {
        m_defaults.setString(name, rawValue(m_cachedMicrophonePermission));
    });
    put(key::inputMonitoring, [this](const QString &name) {
        m_defaults.setString(name, rawValue(m_cachedInputMonitoringPermission));
    });
    put(key::accessibility, [this](const QString &name) {
        m_defaults.setString(name, rawValue(m_cachedAccessibilityPermission));
    });
    put(key::shortcut, [this](const QString &name) {
        m_defaults.setData(name, m_shortcutConfiguration.toJson());
    });
    synchronizeDefaults();
}

void AppConfigurationStore::synchronizeDefaults() {
    // A save of its own has its retries afresh.
    m_failedWrites = 0;
    writeDefaults();
}

void AppConfigurationStore::writeDefaults() {
    m_writeRetry.cancel();
    // Saving reports nothing to its callers; what did not reach the disk
    // stays pending in the defaults and goes with a retry or the next save.
    if (const auto error = m_defaults.synchronize()) {
        retryWritingLater(*error);
        return;
    }
    if (const int failed = std::exchange(m_failedWrites, 0); failed > 0)
        TovalitDebugLogger::log(QStringLiteral("settings.save"),
                                QStringLiteral("result=saved | after-failed=%1").arg(failed));
    if (m_unsavedSettingsNotice) {
        m_unsavedSettingsNotice.reset();
        Q_EMIT settingsSavedAgain();
    }
    if (m_unreadSettingsProblem && !m_defaults.loadProblem())
        takeStoredSettings();
}

void AppConfigurationStore::retryWritingLater(const QString &error) {
    // Another program may be half-way through writing the file (a copy from
    // a backup, an editor, a sync tool: each is done within moments), or it
    // cannot be read yet. The last retry comes once a file a person's
    // editor left without a final line end counts as finished. After it
    // the changes wait for the next save, or the quit.
    static constexpr std::array<double, 5> waits{
        settlingfile::shortWaits[0], settlingfile::shortWaits[1], settlingfile::shortWaits[2],
        settlingfile::shortWaits[3], 30.0};
    QString line = QStringLiteral("result=failed | error=") + error;
    if (m_failedWrites < int(waits.size())) {
        const double wait = waits[std::size_t(m_failedWrites)];
        line += QStringLiteral(" | retry-in=%1s").arg(wait);
        m_writeRetry = spawnCancellable(
            this,
            [self = QPointer(this), sleeper = m_retrySleeper, wait](CancelToken token) {
                return retryWriting(self, sleeper, wait, std::move(token));
            },
            QStringLiteral("settings save retry"));
    } else {
        line += QStringLiteral(" | pending=until-next-save");
    }
    ++m_failedWrites;
    TovalitDebugLogger::log(QStringLiteral("settings.save"), line);
    if (m_failedWrites > int(waits.size()))
        tellUnsaved(error);
}

void AppConfigurationStore::tellUnsaved(const QString &error) {
    // Once: a user who changes another setting while the disk is still
    // full learnt it already, and the quit tries once more. A file the
    // start could not read was told of then, with what it means for
    // changes.
    if (m_unsavedSettingsNotice || (m_unreadSettingsProblem && m_defaults.loadProblem()))
        return;
    m_unsavedSettingsNotice = QStringLiteral("设置无法保存：") + settingsSaveProblem(error) +
                              QStringLiteral("。更改暂时只在本次运行中有效，退出时会再试一次。");
    Q_EMIT settingsCouldNotBeSaved(*m_unsavedSettingsNotice);
}

QCoro::Task<void> AppConfigurationStore::retryWriting(QPointer<AppConfigurationStore> self,
                                                      Sleeper sleeper, double wait,
                                                      CancelToken token) {
    co_await sleeper(wait, token);
    if (token.isCancelled() || !self)
        co_return;
    self->writeDefaults();
}

void AppConfigurationStore::takeStoredSettings() {
    // The settings read at last: their values replace the defaults this
    // run has used in their place, but never a value assigned since. The
    // desktop keyboard's answer and a former restore token are left as the
    // start found them; their keeper read them once, at its start.
    m_unreadSettingsProblem.reset();
    TovalitDebugLogger::log(QStringLiteral("settings.load"), QStringLiteral("result=read-again"));
    const StoredSettings stored = readStoredSettings(m_defaults);
    const auto take = [this](const QString &name, auto &field, const auto &value, auto changed) {
        if (m_assignedKeys.contains(name) || field == value)
            return;
        field = value;
        Q_EMIT(this->*changed)(field);
    };
    take(key::onboarding, m_hasCompletedPermissionsOnboarding,
         stored.hasCompletedPermissionsOnboarding,
         &AppConfigurationStore::hasCompletedPermissionsOnboardingChanged);
    take(key::locale, m_preferredLocaleIdentifier, stored.preferredLocaleIdentifier,
         &AppConfigurationStore::preferredLocaleIdentifierChanged);
    take(key::autoInsert, m_autoInsertIntoFocusedInput, stored.autoInsertIntoFocusedInput,
         &AppConfigurationStore::autoInsertIntoFocusedInputChanged);
    take(key::autoCopy, m_autoCopyFinalText, stored.autoCopyFinalText,
         &AppConfigurationStore::autoCopyFinalTextChanged);
    take(key::keepAudio, m_keepAudioFiles, stored.keepAudioFiles,
         &AppConfigurationStore::keepAudioFilesChanged);
    take(key::meetingMode, m_meetingModeEnabled, stored.meetingModeEnabled,
         &AppConfigurationStore::meetingModeEnabledChanged);
    take(key::resourceID, m_vellupResourceID, stored.vellupResourceID,
         &AppConfigurationStore::vellupResourceIDChanged);
    take(key::microphone, m_cachedMicrophonePermission, stored.cachedMicrophonePermission,
         &AppConfigurationStore::cachedMicrophonePermissionChanged);
    take(key::inputMonitoring, m_cachedInputMonitoringPermission,
         stored.cachedInputMonitoringPermission,
         &AppConfigurationStore::cachedInputMonitoringPermissionChanged);
    take(key::accessibility, m_cachedAccessibilityPermission, stored.cachedAccessibilityPermission,
         &AppConfigurationStore::cachedAccessibilityPermissionChanged);
    take(key::shortcut, m_shortcutConfiguration, stored.shortcutConfiguration,
         &AppConfigurationStore::shortcutConfigurationChanged);
    Q_EMIT storedSettingsReadAgain();
}

void AppConfigurationStore::updateCachedPermissionStates(const QList<PermissionState> &states) {
    for (const PermissionState &state : states) {
        switch (state.kind) {
        case PermissionKind::microphone:
            setCachedMicrophonePermission(state.status);
            break;
        case PermissionKind::inputMonitoring:
            setCachedInputMonitoringPermission(state.status);
            break;
        case PermissionKind::accessibility:
            setCachedAccessibilityPermission(state.status);
            break;
        }
    }
}

std::optional<QUrl> AppConfigurationStore::gatewayBaseURL() const {
    if (textkit::isBlank(m_gatewayBaseURLString))
        return std::nullopt;
    return parseServiceURL(m_gatewayBaseURLString);
}

bool AppConfigurationStore::hasExperimentalVellupCredentials() const {
    return !m_vellupAppID.isEmpty() && !m_vellupAccessToken.isEmpty() &&
           !m_vellupResourceID.isEmpty();
}

std::optional<VellupSpeechConfiguration> AppConfigurationStore::vellupSpeechConfiguration() const {
    if (!hasExperimentalVellupCredentials())
        return std::nullopt;
    return VellupSpeechConfiguration{
        m_vellupAppID,     m_vellupAccessToken,         m_vellupResourceID,
        m_vellupSecretKey, m_preferredLocaleIdentifier, std::nullopt,
        std::nullopt};
}

std::optional<VellupStructuredFormatterConfiguration>
AppConfigurationStore::vellupStructuredFormatterConfiguration() const {
    if (m_vellupFormatterChatURL.isEmpty() || m_vellupFormatterModel.isEmpty() ||
        m_vellupFormatterSecretKey.isEmpty()) {
        return std::nullopt;
    }
    const auto chatURL = parseServiceURL(m_vellupFormatterChatURL);
    if (!chatURL)
        return std::nullopt;
    return VellupStructuredFormatterConfiguration{*chatURL, m_vellupFormatterModel,
                                                  m_vellupFormatterAppID, m_vellupFormatterAgentID,
                                                  m_vellupFormatterSecretKey};
}

std::optional<VellupStructuredFormatterConfiguration>
AppConfigurationStore::vellupHistoryLexiconExtractorConfiguration() const {
    auto configuration = vellupStructuredFormatterConfiguration();
    if (configuration)
        configuration->model = QLatin1String(defaultFormatterModel);
    return configuration;
}

std::optional<VolcengineSpeechOpenAPIConfiguration>
AppConfigurationStore::volcengineSpeechOpenAPIConfiguration() const {
    if (m_volcengineOpenAPIAccessKeyID.isEmpty() || m_volcengineOpenAPISecretAccessKey.isEmpty())
        return std::nullopt;
    return VolcengineSpeechOpenAPIConfiguration{m_volcengineOpenAPIAccessKeyID,
                                                m_volcengineOpenAPISecretAccessKey};
}

QString AppConfigurationStore::firstNonEmptyValue(const Environment &primary,
                                                  const Environment &secondary,
                                                  const QStringList &keys,
                                                  const QString &fallback) {
    for (const QString &name : keys) {
        for (const Environment *source : {&primary, &secondary}) {
            const auto found = source->constFind(name);
            if (found != source->constEnd() && !textkit::isBlank(*found))
                return *found;
        }
    }
    return fallback;
}

AppConfigurationStore::Environment
AppConfigurationStore::loadBundledConfiguration(const BundleValues &bundle, const QString &name) {
    Environment values;
    const auto list = bundle.propertyList(name);
    if (!list)
        return values;
    for (auto it = list->constBegin(); it != list->constEnd(); ++it) {
        QString text;
        switch (it.value().typeId()) {
        case QMetaType::QString:
            text = textkit::trimmed(it.value().toString());
            break;
        case QMetaType::Bool:
            text = it.value().toBool() ? QStringLiteral("1") : QStringLiteral("0");
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
            text = QString::number(it.value().toLongLong());
            break;
        case QMetaType::Double:
            text = QString::number(it.value().toDouble(), 'g', QLocale::FloatingPointShortest);
            break;
        default:
            continue;
        }
        if (!text.isEmpty())
            values.insert(it.key(), text);
    }
    return values;
}

ShortcutConfiguration
AppConfigurationStore::loadShortcutConfiguration(const DefaultsStore &defaults) {
    const auto data = defaults.data(key::shortcut);
    if (!data)
        return ShortcutConfiguration::functionKey();
    return ShortcutConfiguration::fromJson(*data).value_or(ShortcutConfiguration::functionKey());
}

} // namespace tovalit
