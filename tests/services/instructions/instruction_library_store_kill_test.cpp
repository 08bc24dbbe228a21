// The instruction library file against a process killed while saving, and
// a full disk.

#include "services/instructions/instruction_library_store.h"
#include "services/instructions/instruction_library_store_error.h"
#include "tests/support/killed_saves.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
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

const QString fileName = QLatin1String(InstructionLibraryStore::libraryFileName);

TEST(InstructionLibraryStoreKill, AKilledSaveLeavesTheOldOrTheNewFileAndNothingElse) {
    QTemporaryDir folder;
    const int withTemporary = killSaversRepeatedly(
        QStringLiteral("instructions"), folder.path(), 200, 3000, [&](int) -> AfterKill {
            AfterKill after;
            after.sawTemporary = holdsTemporary(folder.path());
            // The next start. (Awaited without runTask's polling slices: 200
            // rounds of it would add up.)
            InstructionLibraryStore store(folder.path());
            const InstructionLibrarySnapshot loaded = QCoro::waitFor(store.loadSnapshot());
            EXPECT_EQ(entriesOf(folder.path()), QFile::exists(folder.filePath(fileName))
                                                    ? QStringList{fileName}
                                                    : QStringList{});
            if (loaded.customEntries.isEmpty())
                return after;
            const auto version =
                versions::versionOf(loaded.customEntries.first().title, QStringLiteral("指令0"));
            EXPECT_TRUE(version.has_value()) << loaded.customEntries.first().title.toStdString();
            after.version = version.value_or(-1);
            EXPECT_EQ(loaded.customEntries, versions::customInstructions(after.version));
            return after;
        });
    EXPECT_GT(withTemporary, 0) << "no kill fell inside a save";
}

TEST(InstructionLibraryStoreKill, AFullDiskKeepsThePreviousFileAndSaysSo) {
    SmallTmpfs disk;
    TOVALIT_REQUIRE_ENVIRONMENT(disk.isMounted(), disk.error().toStdString());
    InstructionLibraryStore store(disk.path());
    runTask(store.saveSnapshot(versions::instructions(1)));
    QFile file(disk.path() + u'/' + fileName);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray previous = file.readAll();
    file.close();
    disk.fill();

    for (const int version : {2, 12}) {
        try {
            runTask(store.saveSnapshot(versions::instructions(version)));
            ADD_FAILURE() << "a save onto a full disk succeeded";
        } catch (const InstructionLibraryStoreError &error) {
            // Shown after "指令库保存失败：".
            EXPECT_EQ(error.localizedDescription(),
                      QStringLiteral("无法写入指令库文件：") +
                          QString::fromLocal8Bit(std::strerror(ENOSPC)));
        }
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), previous);
        file.close();
        EXPECT_EQ(entriesOf(disk.path()), (QStringList{QStringLiteral(".filler"), fileName}));
    }
    EXPECT_EQ(runTask(store.loadSnapshot()).customEntries, versions::customInstructions(1));
}

} // namespace
} // namespace tovalit
