#include "tests/support/xdotool.h"

#include <QProcess>

namespace tovalit::testing {

QString xdotool(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(5000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace tovalit::testing
