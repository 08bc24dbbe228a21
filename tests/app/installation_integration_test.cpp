// Tovalit installed as a desktop application: cmake --install into a fresh
// prefix gives an executable that runs from there with its own libraries,
// a valid desktop entry that starts it, its icon and the folder for the
// AppConfig property list.

#include "tests/support/application_process.h"
#include "tests/support/run_task.h"
#include "tests/support/temporary_user_folders.h"
#include "tests/support/test_session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::ApplicationProcess;

const QString entryName = QStringLiteral("cn.pellastrim.tovalit.desktop");

struct Outcome {
    int exitCode = -1;
    QString output;
};

Outcome run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// The value of `key` in the entry's main group, with the string escapes of
// the desktop entry format undone.
QString entryValue(const QString &entryPath, const QString &key) {
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!line.startsWith(key + QLatin1Char('=')))
            continue;
        const QString raw = line.mid(key.size() + 1);
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == u'\\' && i + 1 < raw.size()) {
                const QChar next = raw[++i];
                value += next == u's' ? QChar(u' ') : next == u't' ? QChar(u'\t') : next;
            } else {
                value += raw[i];
            }
        }
        return value;
    }
    return {};
}

// The program an Exec value starts: its first argument, unquoted.
QString execProgram(const QString &exec) {
    if (!exec.startsWith(u'"'))
        return exec.section(QLatin1Char(' '), 0, 0);
    QString program;
    for (qsizetype i = 1; i < exec.size(); ++i) {
        if (exec[i] == u'\\' && i + 1 < exec.size())
            program += exec[++i];
        else if (exec[i] == u'"')
            return program;
        else
            program += exec[i];
    }
    return {};
}

class InstallationTest : public testing::WithTemporaryUserFolders {
protected:
    void SetUp() override {
        TOVALIT_REQUIRE_DISPLAY();
        TOVALIT_REQUIRE_ENVIRONMENT(
            !QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty(),
            "desktop-file-validate is needed (desktop-file-utils)");
        ASSERT_TRUE(scratch.isValid());
    }

    QTemporaryDir scratch;
};

TEST_F(InstallationTest, TheInstalledEntryStartsTheInstalledApplication) {
    // A prefix with a space, as a user's own folder may have.
    const QString prefix = scratch.filePath(QStringLiteral("opt tovalit"));
    const Outcome install = run(QStringLiteral(TOVALIT_CMAKE_COMMAND),
                                {QStringLiteral("--install"), QStringLiteral(TOVALIT_BUILD_DIR),
                                 QStringLiteral("--prefix"), prefix});
    ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();

    const QDir root(prefix);
    const QString executable = root.filePath(QStringLiteral("bin/tovalit"));
    EXPECT_TRUE(QFileInfo(executable).isExecutable());
    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/"
                                                               "cn.pellastrim.tovalit.svg"))));
    EXPECT_TRUE(QFileInfo(root.filePath(QStringLiteral("share/tovalit"))).isDir())
        << "where the AppConfig property list goes";

    const QString entry = root.filePath(QStringLiteral("share/applications/") + entryName);
    const Outcome validation = run(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(validation.exitCode, 0) << validation.output.toStdString();
    EXPECT_TRUE(validation.output.trimmed().isEmpty()) << validation.output.toStdString();
    EXPECT_EQ(entryValue(entry, QStringLiteral("Icon")), QStringLiteral("cn.pellastrim.tovalit"));
    const QString program = execProgram(entryValue(entry, QStringLiteral("Exec")));
    EXPECT_EQ(program, executable);

    // Started as the desktop would, from the entry; nothing of the build
    // tree is in its way.
    qunsetenv("LD_LIBRARY_PATH");
    auto application = ApplicationProcess::start(program);
    ASSERT_TRUE(application);
    ASSERT_NE(application->waitForMainWindow(), 0u);
    QFile maps(QStringLiteral("/proc/%1/maps").arg(application->processIdentifier()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QString mapped = QString::fromUtf8(maps.readAll());
    for (const char *library : {"support", "platform", "core", "ui"}) {
        const QString name = QStringLiteral("libtovalit_%1.so").arg(QLatin1String(library));
        EXPECT_TRUE(mapped.contains(root.filePath(QStringLiteral("lib/tovalit/") + name)))
            << name.toStdString() << " is not the installed one";
    }
}

} // namespace
} // namespace tovalit
