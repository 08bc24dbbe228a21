#pragma once

#include "services/settings/tovalit_debug_logger.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/temporary_user_folders.h"

#include <QFile>
#include <QStringList>

namespace tovalit::testing {

// A fixture whose diagnostics log is switched on and written into the
// test's own data folder; logLines() gives "[category] message" lines.
class WithDiagnosticsLog : public WithTemporaryUserFolders {
protected:
    ScopedEnvironmentVariable logging{TovalitDebugLogger::environmentVariable, QByteArray("1")};

    QStringList logLines() const {
        TovalitDebugLogger::flush();
        QFile file(TovalitDebugLogger::logFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            // Drop the "[time] " stamp.
            const qsizetype stamp = line.indexOf(QLatin1String("] "));
            if (stamp > 0)
                lines << line.mid(stamp + 2);
        }
        return lines;
    }

    QStringList logLines(const QString &category) const {
        QStringList matching;
        const QString prefix = QLatin1Char('[') + category + QStringLiteral("] ");
        for (const QString &line : logLines()) {
            if (line.startsWith(prefix))
                matching << line.mid(prefix.size());
        }
        return matching;
    }
};

} // namespace tovalit::testing
