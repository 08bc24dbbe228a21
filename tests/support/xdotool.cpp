#include "tests/support/xdotool.h"

#include <QProcess>

#include <algorithm>

namespace tovalit::testing {

namespace {

// Commands that send input: run twice, they would type or click twice.
bool sendsInput(const QStringList &arguments) {
    static const QStringList input{QStringLiteral("key"),       QStringLiteral("keydown"),
                                   QStringLiteral("keyup"),     QStringLiteral("type"),
                                   QStringLiteral("click"),     QStringLiteral("mousedown"),
                                   QStringLiteral("mouseup")};
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const QString &argument) { return input.contains(argument); });
}

} // namespace

QString xdotool(const QStringList &arguments) {
    // Other programs on the same X server (the unit tests running beside
    // us, the editors, the application's own helpers) make and destroy
    // windows all the time. A window that goes while xdotool walks the
    // window tree or reads it ends xdotool with BadWindow and no output,
    // which a caller would take for "no such window"; it is asked again.
    constexpr int attempts = 20;
    for (int attempt = 1;; ++attempt) {
        QProcess process;
        process.start(QStringLiteral("xdotool"), arguments);
        if (!process.waitForFinished(5000))
            return {};
        const bool windowVanished = process.exitCode() != 0 &&
                                    process.readAllStandardError().contains("BadWindow");
        if (windowVanished && attempt < attempts && !sendsInput(arguments))
            continue;
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
}

} // namespace tovalit::testing
