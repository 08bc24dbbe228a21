// The settings file against a process killed while saving, and a full disk.

#include "platform/linux/ini_defaults_store.h"
#include "tests/support/killed_saves.h"
#include "tests/support/qt_printers.h"
#include "tests/support/saved_versions.h"
#include "tests/support/small_tmpfs.h"
#include "tests/support/test_session.h"

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;
namespace versions = testing::savedversions;

// The one version every key of the file holds, or -1 when they differ.
int versionOfSettings(const IniDefaultsStore &store) {
    const auto first = versions::settings(1).front();
    const auto version = versions::versionOf(store.string(first.first).value_or(QString()),
                                             first.first.section(u'.', 1));
    if (!version)
        return -1;
    for (const auto &[key, value] : versions::settings(*version)) {
        if (store.string(key) != value)
            return -1;
    }
    return *version;
}

TEST(IniDefaultsStoreKill, AKilledSaveLeavesTheOldOrTheNewSettingsAndNothingElse) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Tovalit.ini"));
    const int withTemporary = killSaversRepeatedly(
        QStringLiteral("settings"), folder.path(), 200, 2000, [&](int) -> AfterKill {
            AfterKill after;
            after.sawTemporary = holdsTemporary(folder.path());
            // The next start.
            const IniDefaultsStore store(path);
            if (!QFile::exists(path)) {
                EXPECT_EQ(entriesOf(folder.path()), QStringList{});
                return after;
            }
            EXPECT_EQ(entriesOf(folder.path()), QStringList{QStringLiteral("Tovalit.ini")});
            after.version = versionOfSettings(store);
            EXPECT_GE(after.version, 1) << readFile(path).toStdString();
            return after;
        });
    EXPECT_GT(withTemporary, 0) << "no kill fell inside a save";
}

TEST(IniDefaultsStoreKill, AFullDiskKeepsThePreviousSettingsAndTheChangesPending) {
    SmallTmpfs disk(64);
    TOVALIT_REQUIRE_ENVIRONMENT(disk.isMounted(), disk.error().toStdString());
    const QString path = disk.path() + QStringLiteral("/Tovalit.ini");
    IniDefaultsStore store(path);
    for (const auto &[key, value] : versions::settings(1))
        store.setString(key, value);
    ASSERT_EQ(store.synchronize(), std::nullopt);
    const QByteArray previous = readFile(path);
    disk.fill();

    // Small text (which QSettings would have left as an empty file) and
    // data larger than the disk.
    for (const auto &[key, value] : versions::settings(2))
        store.setString(key, value);
    EXPECT_EQ(store.synchronize(), QString::fromLocal8Bit(std::strerror(ENOSPC)));
    store.setData(QStringLiteral("vellup_transcriber.shortcutConfiguration"),
                  QByteArray(100000, 'd'));
    EXPECT_EQ(store.synchronize(), QString::fromLocal8Bit(std::strerror(ENOSPC)));
    EXPECT_EQ(readFile(path), previous);
    EXPECT_EQ(entriesOf(disk.path()),
              (QStringList{QStringLiteral(".filler"), QStringLiteral("Tovalit.ini")}));
    EXPECT_EQ(versionOfSettings(store), 2) << "the changes stay in the store";
    EXPECT_EQ(versionOfSettings(IniDefaultsStore(path)), 1);

    // With room again the pending changes go out, all of them.
    disk.release();
    store.setString(QStringLiteral("vellup_transcriber.shortcutConfiguration"),
                    QStringLiteral("s"));
    EXPECT_EQ(store.synchronize(), std::nullopt);
    const IniDefaultsStore reread(path);
    EXPECT_EQ(versionOfSettings(reread), 2);
    EXPECT_EQ(reread.string(QStringLiteral("vellup_transcriber.shortcutConfiguration")),
              QStringLiteral("s"));
}

} // namespace
} // namespace tovalit
