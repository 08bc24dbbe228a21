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
        return QStringLiteral("保存设置失败：") + m_message;
    case Kind::synchronizeFailed:
        return QStringLiteral("保存 Fn 设置失败。");
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
    // evdev only listens: the focused application gets the press too.
    const QString listening =
        QStringLiteral("Fn 已开始监听（Linux 无法拦截 Fn，当前应用也会收到这次按键）");
    if (isExplicitlyConflictFree())
        return ShortcutActivationState::ready(listening);
    return ShortcutActivationState::degraded(listening);
}

QString FunctionKeySystemSettings::helperMessage() const {
    // No Linux desktop gives the bare Fn key an action of its own, whatever
    // our settings file holds for it, so there is nothing to switch off.
    return QStringLiteral("Linux 桌面不会给 Fn 键分配系统操作，无需额外设置。Tovalit 只能监听 "
                          "Fn、不能拦截，当前应用也会收到这次按键。很多键盘的 Fn "
                          "由硬件处理、不会上报，这时请录制一个组合快捷键。");
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
