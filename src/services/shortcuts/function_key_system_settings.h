#pragma once

#include "models/shortcut_activation_state.h"
#include "support/app_error.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tovalit {

class CommandRunner;
class SystemSettingsOpener;

// The values of the system's "AppleFnUsageType": what the Fn key does on
// its own.
enum class FunctionKeySystemBehavior {
    doNothing = 0,
    changeInputSource = 1,
    showEmojiAndSymbols = 2,
    startDictation = 3,
};

// "不执行任何操作" …
QString title(FunctionKeySystemBehavior behavior);

class FunctionKeySystemSettingsError : public AppError {
public:
    enum class Kind { commandFailed, synchronizeFailed };

    static FunctionKeySystemSettingsError commandFailed(QString message);
    static FunctionKeySystemSettingsError synchronizeFailed();

    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }
    QString localizedDescription() const override;

private:
    FunctionKeySystemSettingsError(Kind kind, QString message);

    Kind m_kind;
    QString m_message;
};

// The system's own action for the bare Fn key, read and written through
// the "defaults" tool, and the texts that explain it. Without state: every
// call runs the tool anew, synchronously on the caller's thread.
class FunctionKeySystemSettings {
public:
    // The defaults stand-in over our settings, and the desktop's settings.
    FunctionKeySystemSettings();
    FunctionKeySystemSettings(std::shared_ptr<CommandRunner> runner,
                              std::shared_ptr<SystemSettingsOpener> opener);

    // Trims; a decimal integer (with an optional sign) from 0 to 3, else
    // nothing.
    static std::optional<FunctionKeySystemBehavior> parseBehavior(const QString &text);

    // Nothing when the setting cannot be read or holds no known value.
    std::optional<FunctionKeySystemBehavior> explicitBehavior() const;
    bool isExplicitlyConflictFree() const;
    // Ready when the system's Fn action is "do nothing", else degraded;
    // either way the text says Fn is listened to, not intercepted.
    ShortcutActivationState activationStateMessage() const;
    // The one caption the shortcut card shows for Fn: what listening to it
    // can and cannot do on Linux.
    QString helperMessage() const;
    // Writes the setting and reads it back. Throws CommandLaunchError or
    // FunctionKeySystemSettingsError.
    void setExplicitBehavior(FunctionKeySystemBehavior behavior) const;
    void openKeyboardSettings() const;

    static constexpr const char *defaultsExecutable = "/usr/bin/defaults";
    static constexpr const char *keyboardSettingsURL =
        "x-apple.systempreferences:com.apple.preference.keyboard";

private:
    // Standard output of a successful run; throws CommandLaunchError or
    // commandFailed.
    QString runDefaultsCommand(const QStringList &arguments) const;

    std::shared_ptr<CommandRunner> m_runner;
    std::shared_ptr<SystemSettingsOpener> m_opener;
};

} // namespace tovalit
