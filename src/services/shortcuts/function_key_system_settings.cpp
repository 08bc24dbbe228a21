#include "services/shortcuts/function_key_system_settings.h"

#include "platform/command_runner.h"
#include "platform/linux/defaults_command_stand_in.h"
#include "platform/linux/desktop_settings_opener.h"
#include "platform/system_settings_opener.h"
#include "support/textkit.h"

#include <QUrl>

namespace tovalit {

namespace {

const QString domain = QStringLiteral("com.apple.HIToolbox");
const QString key = QStringLiteral("AppleFnUsageType");

QString decodedOrEmpty(const QByteArray &bytes) {
    return textkit::decodeUtf8Strict(bytes).value_or(QString());
}

} // namespace

QString title(FunctionKeySystemBehavior behavior) {
    switch (behavior) {
    case FunctionKeySystemBehavior::doNothing:
        return QStringLiteral("不执行任何操作");
    case FunctionKeySystemBehavior::changeInputSource:
        return QStringLiteral("切换输入源");
    case FunctionKeySystemBehavior::showEmojiAndSymbols:
        return QStringLiteral("显示表情与符号");
    case FunctionKeySystemBehavior::startDictation:
        return QStringLiteral("启动听写");
    }
    return {};
}

FunctionKeySystemSettingsError::FunctionKeySystemSettingsError(Kind kind, QString message)
    : m_kind(kind)
    , m_message(std::move(message)) {}

FunctionKeySystemSettingsError FunctionKeySystemSettingsError::commandFailed(QString message) {
    return {Kind::commandFailed, std::move(message)};
}

FunctionKeySystemSettingsError FunctionKeySystemSettingsError::synchronizeFailed() {
    return {Kind::synchronizeFailed, {}};
}

QString FunctionKeySystemSettingsError::localizedDescription() const {
    switch (m_kind) {
    case Kind::commandFailed:
        // The tool's message follows the colon as it is, even when empty.
        return QStringLiteral("系统设置命令执行失败：") + m_message;
    case Kind::synchronizeFailed:
        return QStringLiteral("写入系统 Globe/Fn 设置失败。");
    }
    return {};
}

FunctionKeySystemSettings::FunctionKeySystemSettings()
    : FunctionKeySystemSettings(std::make_shared<DefaultsCommandStandIn>(),
                                std::make_shared<DesktopSettingsOpener>()) {}

FunctionKeySystemSettings::FunctionKeySystemSettings(std::shared_ptr<CommandRunner> runner,
                                                     std::shared_ptr<SystemSettingsOpener> opener)
    : m_runner(std::move(runner))
    , m_opener(std::move(opener)) {}

QString FunctionKeySystemSettings::runDefaultsCommand(const QStringList &arguments) const {
    const CommandOutput output = m_runner->run(QString::fromLatin1(defaultsExecutable), arguments);
    const QString standardOutput = decodedOrEmpty(output.standardOutput);
    const QString standardError = decodedOrEmpty(output.standardError);
    if (output.exitStatus != 0)
        throw FunctionKeySystemSettingsError::commandFailed(textkit::trimmed(standardError));
    return standardOutput;
}

std::optional<FunctionKeySystemBehavior>
FunctionKeySystemSettings::parseBehavior(const QString &text) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty())
        return std::nullopt;
    qsizetype index = 0;
    bool negative = false;
    if (trimmed[0] == u'+' || trimmed[0] == u'-') {
        negative = trimmed[0] == u'-';
        index = 1;
    }
    if (index == trimmed.size())
        return std::nullopt;
    qint64 value = 0;
    for (; index < trimmed.size(); ++index) {
        const QChar c = trimmed[index];
        if (c < u'0' || c > u'9')
            return std::nullopt;
        // Anything past a few digits is out of range anyway.
        value = std::min<qint64>(value * 10 + (c.unicode() - u'0'), 1000);
    }
    if (negative)
        value = -value;
    if (value < 0 || value > 3)
        return std::nullopt;
    return FunctionKeySystemBehavior(value);
}

std::optional<FunctionKeySystemBehavior> FunctionKeySystemSettings::explicitBehavior() const {
    try {
        return parseBehavior(runDefaultsCommand({QStringLiteral("read"), domain, key}));
    } catch (const AppError &) {
        return std::nullopt;
    }
}

bool FunctionKeySystemSettings::isExplicitlyConflictFree() const {
    return explicitBehavior() == FunctionKeySystemBehavior::doNothing;
}

ShortcutActivationState FunctionKeySystemSettings::activationStateMessage() const {
    if (isExplicitlyConflictFree())
        return ShortcutActivationState::ready(
            QStringLiteral("Fn 已系统级监听；系统 Globe 键已显式设为“不执行任何操作”"));
    return ShortcutActivationState::degraded(
        QStringLiteral("Fn 已系统级监听，但系统 Globe "
                       "行为仍开启。应用会优先拦截；若仍有冲突，建议同时关闭系统 Globe 行为"));
}

QString FunctionKeySystemSettings::helperMessage() const {
    const auto behavior = explicitBehavior();
    if (!behavior) {
        return QStringLiteral("当前没有读到显式的 Globe/Fn "
                              "系统配置。应用会尝试系统级拦截，但如果你仍看到表情/"
                              "输入法面板，建议直接关闭系统 Globe 行为。");
    }
    if (*behavior == FunctionKeySystemBehavior::doNothing) {
        return QStringLiteral("系统 Globe/Fn 键已显式设为“不执行任何操作”。应用会优先接管裸 "
                              "Fn；若系统仍残留旧行为，可退出登录或重启后再测。");
    }
    return QStringLiteral("当前系统把 Globe/Fn 键用于“") + title(*behavior) +
           QStringLiteral("”。应用会优先拦截，但这个系统行为仍可能与裸 Fn 录音冲突。");
}

void FunctionKeySystemSettings::setExplicitBehavior(FunctionKeySystemBehavior behavior) const {
    runDefaultsCommand({QStringLiteral("write"), domain, key, QStringLiteral("-int"),
                        QString::number(int(behavior))});
    std::optional<FunctionKeySystemBehavior> readBack;
    try {
        readBack = parseBehavior(runDefaultsCommand({QStringLiteral("read"), domain, key}));
    } catch (const AppError &) {
        readBack.reset();
    }
    if (readBack != behavior)
        throw FunctionKeySystemSettingsError::synchronizeFailed();
}

void FunctionKeySystemSettings::openKeyboardSettings() const {
    const QUrl url(QString::fromLatin1(keyboardSettingsURL), QUrl::StrictMode);
    if (url.isValid())
        m_opener->open(url);
}

} // namespace tovalit
