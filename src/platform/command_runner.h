#pragma once

#include "support/app_error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tovalit {

// The program could not be started at all.
class CommandLaunchError : public AppError {
public:
    CommandLaunchError(QString executable, QString reason);
    QString executable() const { return m_executable; }
    QString localizedDescription() const override;

private:
    QString m_executable;
    QString m_reason;
};

struct CommandOutput {
    int exitStatus = 0;
    QByteArray standardOutput;
    QByteArray standardError;
};

// Runs a command-line program to its end, synchronously on the caller's
// thread.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;

    // Throws CommandLaunchError when the program cannot be started.
    virtual CommandOutput run(const QString &executable, const QStringList &arguments) = 0;
};

} // namespace tovalit
