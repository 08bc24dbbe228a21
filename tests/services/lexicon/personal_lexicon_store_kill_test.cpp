// The lexicon file against a process killed while saving, and a full disk.

#include "services/lexicon/personal_lexicon_store.h"
#include "services/lexicon/personal_lexicon_store_error.h"
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

const QString fileName = QLatin1String(PersonalLexiconStore::lexiconFileName);

TEST(PersonalLexiconStoreKill, AKilledSaveLeavesTheOldOrTheNewFileAndNothingElse) {
    QTemporaryDir folder;
    const int withTemporary = killSaversRepeatedly(
        QStringLiteral("lexicon"), folder.path(), 200, 3000, [&](int) -> AfterKill {
            AfterKill after;
            after.sawTemporary = holdsTemporary(folder.path());
            // The next start. (Awaited without runTask's polling slices: 200
            // rounds of it would add up.)
            PersonalLexiconStore store(folder.path());
            const PersonalLexiconSnapshot loaded = QCoro::waitFor(store.loadSnapshot());
            EXPECT_EQ(entriesOf(folder.path()), QFile::exists(folder.filePath(fileName))
                                                    ? QStringList{fileName}
                                                    : QStringList{});
            if (loaded.entries.isEmpty())
                return after;
            const auto version =
                versions::versionOf(loaded.entries.first().targetText, QStringLiteral("term-0"));
            EXPECT_TRUE(version.has_value()) << loaded.entries.first().targetText.toStdString();
            after.version = version.value_or(-1);
            EXPECT_EQ(loaded, versions::lexicon(after.version));
            return after;
        });
    EXPECT_GT(withTemporary, 0) << "no kill fell inside a save";
}

TEST(PersonalLexiconStoreKill, AFullDiskKeepsThePreviousFileAndSaysSo) {
    SmallTmpfs disk;
    TOVALIT_REQUIRE_ENVIRONMENT(disk.isMounted(), disk.error().toStdString());
    PersonalLexiconStore store(disk.path());
    runTask(store.saveSnapshot(versions::lexicon(1)));
    QFile file(disk.path() + u'/' + fileName);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray previous = file.readAll();
    file.close();
    disk.fill();

    for (const int version : {2, 22}) {
        try {
            runTask(store.saveSnapshot(versions::lexicon(version)));
            ADD_FAILURE() << "a save onto a full disk succeeded";
        } catch (const PersonalLexiconStoreError &error) {
            // Shown after "个人词库保存失败：".
            EXPECT_EQ(error.localizedDescription(),
                      QStringLiteral("无法写入个人词库文件：") +
                          QString::fromLocal8Bit(std::strerror(ENOSPC)));
        }
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), previous);
        file.close();
        EXPECT_EQ(entriesOf(disk.path()), (QStringList{QStringLiteral(".filler"), fileName}));
    }
    EXPECT_EQ(runTask(store.loadSnapshot()), versions::lexicon(1));
}

} // namespace
} // namespace tovalit
