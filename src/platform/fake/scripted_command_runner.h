#pragma once

#include "platform/command_runner.h"

#include <QList>

#include <mutex>
#include <variant>

namespace tovalit {

// Runs nothing: answers each call with the next scripted outcome (an
// output, or a launch error) and records what was asked. Without a script
// it answers an empty success.
class ScriptedCommandRunner final : public CommandRunner {
public:
    struct Call {
        QString executable;
        QStringList arguments;

        bool operator==(const Call &) const = default;
    };
    using Outcome = std::variant<CommandOutput, CommandLaunchError>;

    void enqueue(Outcome outcome);
    // Shorthands: exit status 0 with `standardOutput`, or `status` with
    // `standardError`.
    void enqueueSuccess(const QByteArray &standardOutput);
    void enqueueFailure(int status, const QByteArray &standardError);

    QList<Call> calls() const;

    CommandOutput run(const QString &executable, const QStringList &arguments) override;

private:
    mutable std::mutex m_mutex;
    QList<Outcome> m_script;
    QList<Call> m_calls;
};

} // namespace tovalit
