#include "platform/linux/defaults_command_stand_in.h"

#include "platform/linux/ini_defaults_store.h"

namespace tovalit {

namespace {

const QString domain = QStringLiteral("com.apple.HIToolbox");
const QString key = QStringLiteral("AppleFnUsageType");

// Decimal, with an optional sign: what the tool accepts after "-int".
std::optional<qint64> parseInteger(const QString &text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return std::nullopt;
    return value;
}

CommandOutput failure(const QString &message) {
    return CommandOutput{1, {}, message.toUtf8() + '\n'};
}

} // namespace

DefaultsCommandStandIn::DefaultsCommandStandIn()
    : DefaultsCommandStandIn(
          std::make_shared<IniDefaultsStore>(IniDefaultsStore::standardFilePath())) {}

DefaultsCommandStandIn::DefaultsCommandStandIn(std::shared_ptr<DefaultsStore> store)
    : m_store(std::move(store)) {}

CommandOutput DefaultsCommandStandIn::run(const QString &executable, const QStringList &arguments) {
    if (executable != QLatin1String(executablePath))
        throw CommandLaunchError(executable, QStringLiteral("找不到这个程序"));

    std::lock_guard lock(m_mutex);
    if (arguments.size() == 3 && arguments[0] == u"read" && arguments[1] == domain &&
        arguments[2] == key) {
        const auto stored = m_store->string(QLatin1String(storageKey));
        const auto value = stored ? parseInteger(*stored) : std::optional<qint64>(0);
        if (!value) {
            return failure(
                QStringLiteral("The stored value of %1 %2 is not an integer").arg(domain, key));
        }
        return CommandOutput{0, QByteArray::number(*value) + '\n', {}};
    }
    if (arguments.size() == 5 && arguments[0] == u"write" && arguments[1] == domain &&
        arguments[2] == key && arguments[3] == u"-int") {
        const auto value = parseInteger(arguments[4]);
        if (!value)
            return failure(QStringLiteral("Value for -int is not an integer: ") + arguments[4]);
        m_store->setString(QLatin1String(storageKey), QString::number(*value));
        if (const auto error = m_store->synchronize())
            return failure(QStringLiteral("Could not write %1 %2: ").arg(domain, key) + *error);
        return CommandOutput{};
    }
    return failure(QStringLiteral("Only reading and writing %1 %2 is supported on this system")
                       .arg(domain, key));
}

} // namespace tovalit
