#include "platform/fake/scripted_command_runner.h"

namespace tovalit {

void ScriptedCommandRunner::enqueue(Outcome outcome) {
    std::lock_guard lock(m_mutex);
    m_script.append(std::move(outcome));
}

void ScriptedCommandRunner::enqueueSuccess(const QByteArray &standardOutput) {
    enqueue(CommandOutput{0, standardOutput, {}});
}

void ScriptedCommandRunner::enqueueFailure(int status, const QByteArray &standardError) {
    enqueue(CommandOutput{status, {}, standardError});
}

QList<ScriptedCommandRunner::Call> ScriptedCommandRunner::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

CommandOutput ScriptedCommandRunner::run(const QString &executable, const QStringList &arguments) {
    std::lock_guard lock(m_mutex);
    m_calls.append({executable, arguments});
    if (m_script.isEmpty())
        return {};
    Outcome outcome = m_script.takeFirst();
    if (auto *error = std::get_if<CommandLaunchError>(&outcome))
        throw *error;
    return std::get<CommandOutput>(outcome);
}

} // namespace tovalit
