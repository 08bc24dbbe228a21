#pragma once

#include "models/permission_authorization_state.h"
#include "models/permission_state.h"
#include "models/shortcut_configuration.h"
#include "models/vellup_speech_configuration.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "models/volcengine_speech_open_api_configuration.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tovalit {

class BundleValues;
class DefaultsStore;

// The application's one settings object. Persisted preferences live in the
// user defaults under "vellup_transcriber." keys; every assignment writes
// those assigned in this run again, never one the store only read (what it
// read may not be the user's). The gateway address and the direct service
// endpoints and credentials are resolved once at construction and never
// persisted. Lives on the GUI thread.
class AppConfigurationStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        bool hasCompletedPermissionsOnboarding READ hasCompletedPermissionsOnboarding WRITE
            setHasCompletedPermissionsOnboarding NOTIFY hasCompletedPermissionsOnboardingChanged)
    Q_PROPERTY(QString preferredLocaleIdentifier READ preferredLocaleIdentifier WRITE
                   setPreferredLocaleIdentifier NOTIFY preferredLocaleIdentifierChanged)
    Q_PROPERTY(bool autoInsertIntoFocusedInput READ autoInsertIntoFocusedInput WRITE
                   setAutoInsertIntoFocusedInput NOTIFY autoInsertIntoFocusedInputChanged)
    Q_PROPERTY(bool autoCopyFinalText READ autoCopyFinalText WRITE setAutoCopyFinalText NOTIFY
                   autoCopyFinalTextChanged)
    Q_PROPERTY(bool keepAudioFiles READ keepAudioFiles WRITE setKeepAudioFiles NOTIFY
                   keepAudioFilesChanged)
    Q_PROPERTY(bool meetingModeEnabled READ meetingModeEnabled WRITE setMeetingModeEnabled NOTIFY
                   meetingModeEnabledChanged)
    Q_PROPERTY(QString vellupAppID READ vellupAppID WRITE setVellupAppID NOTIFY vellupAppIDChanged)
    Q_PROPERTY(QString vellupAccessToken READ vellupAccessToken WRITE setVellupAccessToken NOTIFY
                   vellupAccessTokenChanged)
    Q_PROPERTY(QString vellupResourceID READ vellupResourceID WRITE setVellupResourceID NOTIFY
                   vellupResourceIDChanged)
    Q_PROPERTY(QString vellupSecretKey READ vellupSecretKey WRITE setVellupSecretKey NOTIFY
                   vellupSecretKeyChanged)
    Q_PROPERTY(ShortcutConfiguration shortcutConfiguration READ shortcutConfiguration WRITE
                   setShortcutConfiguration NOTIFY shortcutConfigurationChanged)
    Q_PROPERTY(
        PermissionAuthorizationState cachedMicrophonePermission READ cachedMicrophonePermission
            WRITE setCachedMicrophonePermission NOTIFY cachedMicrophonePermissionChanged)
    Q_PROPERTY(PermissionAuthorizationState cachedInputMonitoringPermission READ
                   cachedInputMonitoringPermission WRITE setCachedInputMonitoringPermission NOTIFY
                       cachedInputMonitoringPermissionChanged)
    Q_PROPERTY(PermissionAuthorizationState cachedAccessibilityPermission READ
                   cachedAccessibilityPermission WRITE setCachedAccessibilityPermission NOTIFY
                       cachedAccessibilityPermissionChanged)

public:
    using Environment = QHash<QString, QString>;

    // With an environment map, that map is the whole outside world (no
    // property lists are read); without one, the process environment and
    // the "AppConfig" / "AppSecrets" lists of `bundle` (the main bundle
    // when null). `defaults` must outlive the store. A save that could not
    // be written is tried again after waits of `retrySleeper` (the system's
    // when empty). Never fails.
    explicit AppConfigurationStore(DefaultsStore &defaults,
                                   std::optional<Environment> environment = std::nullopt,
                                   const BundleValues *bundle = nullptr, Sleeper retrySleeper = {},
                                   QObject *parent = nullptr);
    // Writes what its retries could not, with a word in the log.
    ~AppConfigurationStore() override;

    bool hasCompletedPermissionsOnboarding() const { return m_hasCompletedPermissionsOnboarding; }
    QString preferredLocaleIdentifier() const { return m_preferredLocaleIdentifier; }
    bool autoInsertIntoFocusedInput() const { return m_autoInsertIntoFocusedInput; }
    bool autoCopyFinalText() const { return m_autoCopyFinalText; }
    bool keepAudioFiles() const { return m_keepAudioFiles; }
    bool meetingModeEnabled() const { return m_meetingModeEnabled; }
    QString vellupAppID() const { return m_vellupAppID; }
    QString vellupAccessToken() const { return m_vellupAccessToken; }
    QString vellupResourceID() const { return m_vellupResourceID; }
    QString vellupSecretKey() const { return m_vellupSecretKey; }
    ShortcutConfiguration shortcutConfiguration() const { return m_shortcutConfiguration; }
    PermissionAuthorizationState cachedMicrophonePermission() const {
        return m_cachedMicrophonePermission;
    }
    PermissionAuthorizationState cachedInputMonitoringPermission() const {
        return m_cachedInputMonitoringPermission;
    }
    PermissionAuthorizationState cachedAccessibilityPermission() const {
        return m_cachedAccessibilityPermission;
    }
    // What the user must learn when the stored settings could not be read
    // at the start: this run uses the defaults and leaves the file as it
    // is. Nothing once they have been read since (at a save or its retry,
    // which takes the file's values for those not assigned meanwhile).
    std::optional<QString> unreadSettingsNotice() const;
    // What the user learns in place of that notice once the settings have
    // been read.
    static QString settingsReadAgainNotice();
    // What the user must learn when a change could not be saved after its
    // retries, with the reason; nothing once a save has succeeded since.
    std::optional<QString> unsavedSettingsNotice() const { return m_unsavedSettingsNotice; }
    // What the user learns in place of that notice once a save succeeded.
    static QString settingsSavedAgainNotice();
    // Whether the user turned down the keyboard the desktop lends.
    bool remoteDesktopKeyboardRefused() const { return m_remoteDesktopKeyboardRefused; }
    // What lets the desktop lend its keyboard again without asking, as
    // earlier versions kept it in the settings file; empty for none, and
    // empty after the first call. The file lost it at construction: it is
    // a credential, kept with the secrets now.
    QString takeLegacyRemoteDesktopRestoreToken();

    // Every assignment, equal or not, notifies and then saves.
    void setHasCompletedPermissionsOnboarding(bool value);
    void setPreferredLocaleIdentifier(const QString &value);
    void setAutoInsertIntoFocusedInput(bool value);
    void setAutoCopyFinalText(bool value);
    void setKeepAudioFiles(bool value);
    void setMeetingModeEnabled(bool value);
    void setVellupAppID(const QString &value);
    void setVellupAccessToken(const QString &value);
    void setVellupResourceID(const QString &value);
    void setVellupSecretKey(const QString &value);
    void setShortcutConfiguration(const ShortcutConfiguration &value);
    void setCachedMicrophonePermission(PermissionAuthorizationState value);
    void setCachedInputMonitoringPermission(PermissionAuthorizationState value);
    void setCachedAccessibilityPermission(PermissionAuthorizationState value);
    // The desktop's answer rather than a setting: written on its own,
    // without notifying (only the grant's keeper reads it).
    void setRemoteDesktopKeyboardRefused(bool value);

    // Resolved at construction, never changed or persisted.
    QString gatewayBaseURLString() const { return m_gatewayBaseURLString; }
    QString vellupFormatterChatURL() const { return m_vellupFormatterChatURL; }
    QString vellupFormatterModel() const { return m_vellupFormatterModel; }
    QString vellupFormatterAppID() const { return m_vellupFormatterAppID; }
    QString vellupFormatterAgentID() const { return m_vellupFormatterAgentID; }
    QString vellupFormatterSecretKey() const { return m_vellupFormatterSecretKey; }
    QString volcengineOpenAPIAccessKeyID() const { return m_volcengineOpenAPIAccessKeyID; }
    QString volcengineOpenAPISecretAccessKey() const { return m_volcengineOpenAPISecretAccessKey; }
    // The speech OpenAPI's host name (optionally with ":port"), without a
    // scheme; empty when none is set, and then direct lexicon sync requests
    // fail instead of guessing an endpoint.
    QString volcengineOpenAPIHost() const { return m_volcengineOpenAPIHost; }

    // Writes the persisted keys assigned in this run, in a fixed order.
    // Credentials and the constants are never written.
    void save();
    // Assigns each state to the cached permission of its kind, in order;
    // every assignment saves.
    void updateCachedPermissionStates(const QList<PermissionState> &states);

    // The gateway in use, or nothing: a blank setting means no gateway, and
    // the text is used only when it is a plain absolute http(s) address
    // with a host and no surrounding blanks.
    std::optional<QUrl> gatewayBaseURL() const;
    // App id, access token and resource id all non-empty.
    bool hasExperimentalVellupCredentials() const;
    std::optional<VellupSpeechConfiguration> vellupSpeechConfiguration() const;
    std::optional<VellupStructuredFormatterConfiguration>
    vellupStructuredFormatterConfiguration() const;
    // The formatter configuration with the built-in default model.
    std::optional<VellupStructuredFormatterConfiguration>
    vellupHistoryLexiconExtractorConfiguration() const;
    std::optional<VolcengineSpeechOpenAPIConfiguration>
    volcengineSpeechOpenAPIConfiguration() const;

    static constexpr const char *defaultFormatterModel = "vellup-seed-1-6-flash-250828";
    static constexpr const char *defaultResourceID = "volc.seedasr.sauc.duration";

    // Per lookup key, the primary value and then the secondary one when it
    // is not blank; the first found, as stored; else `fallback`.
    static QString firstNonEmptyValue(const Environment &primary, const Environment &secondary,
                                      const QStringList &keys, const QString &fallback);
    // A property list as text: strings trimmed, numbers in decimal (true as
    // "1"), other values and empty results left out.
    static Environment loadBundledConfiguration(const BundleValues &bundle, const QString &name);
    // The stored shortcut, or the Fn key when nothing usable is stored.
    static ShortcutConfiguration loadShortcutConfiguration(const DefaultsStore &defaults);

Q_SIGNALS:
    void hasCompletedPermissionsOnboardingChanged(bool value);
    void preferredLocaleIdentifierChanged(const QString &value);
    void autoInsertIntoFocusedInputChanged(bool value);
    void autoCopyFinalTextChanged(bool value);
    void keepAudioFilesChanged(bool value);
    void meetingModeEnabledChanged(bool value);
    void vellupAppIDChanged(const QString &value);
    void vellupAccessTokenChanged(const QString &value);
    void vellupResourceIDChanged(const QString &value);
    void vellupSecretKeyChanged(const QString &value);
    void shortcutConfigurationChanged(const ShortcutConfiguration &value);
    void cachedMicrophonePermissionChanged(PermissionAuthorizationState value);
    void cachedInputMonitoringPermissionChanged(PermissionAuthorizationState value);
    void cachedAccessibilityPermissionChanged(PermissionAuthorizationState value);
    // The settings the start could not read have been read since, and
    // taken (their own signals came first): the unread settings notice is
    // no longer true.
    void storedSettingsReadAgain();
    // A change could not be saved after its retries (it waits for the next
    // save, or the quit): emitted once, until a save succeeds.
    void settingsCouldNotBeSaved(const QString &notice);
    // A save succeeded after settingsCouldNotBeSaved(): the changes are on
    // the disk.
    void settingsSavedAgain();

private:
    // Writes the pending changes, and tries again a few times, after short
    // waits, when that fails.
    void synchronizeDefaults();
    void writeDefaults();
    void retryWritingLater(const QString &error);
    void tellUnsaved(const QString &error);
    static QCoro::Task<void> retryWriting(QPointer<AppConfigurationStore> self, Sleeper sleeper,
                                          double wait, CancelToken token);
    // The stored values of the persisted settings not assigned in this
    // run, in place of those the start could not read, announced.
    void takeStoredSettings();

    DefaultsStore &m_defaults;
    // Why the stored settings could not be read at the start, until they
    // have been.
    std::optional<QString> m_unreadSettingsProblem;
    // The persisted keys assigned in this run: the values certainly the
    // user's.
    QSet<QString> m_assignedKeys;
    Sleeper m_retrySleeper;
    TaskHandle m_writeRetry;
    // Writes that failed since the last one of a save or a success.
    int m_failedWrites = 0;
    // Told when the retries ran out, until a write succeeds.
    std::optional<QString> m_unsavedSettingsNotice;

    bool m_hasCompletedPermissionsOnboarding = false;
    QString m_preferredLocaleIdentifier;
    bool m_autoInsertIntoFocusedInput = true;
    bool m_autoCopyFinalText = true;
    bool m_keepAudioFiles = true;
    bool m_meetingModeEnabled = true;
    QString m_vellupAppID;
    QString m_vellupAccessToken;
    QString m_vellupResourceID;
    QString m_vellupSecretKey;
    ShortcutConfiguration m_shortcutConfiguration;
    PermissionAuthorizationState m_cachedMicrophonePermission =
        PermissionAuthorizationState::notDetermined;
    PermissionAuthorizationState m_cachedInputMonitoringPermission =
        PermissionAuthorizationState::notDetermined;
    PermissionAuthorizationState m_cachedAccessibilityPermission =
        PermissionAuthorizationState::notDetermined;
    QString m_legacyRemoteDesktopRestoreToken;
    bool m_remoteDesktopKeyboardRefused = false;

    QString m_gatewayBaseURLString;
    QString m_vellupFormatterChatURL;
    QString m_vellupFormatterModel;
    QString m_vellupFormatterAppID;
    QString m_vellupFormatterAgentID;
    QString m_vellupFormatterSecretKey;
    QString m_volcengineOpenAPIAccessKeyID;
    QString m_volcengineOpenAPISecretAccessKey;
    QString m_volcengineOpenAPIHost;
};

} // namespace tovalit
