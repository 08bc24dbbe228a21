#include "support/data_folder_resolver.h"
#include "tests/support/file_contents.h"
#include "tests/support/qt_printers.h"
#include "tests/support/temporary_user_folders.h"

#include <QFileInfo>

#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tovalit {
namespace {

using DataFolderResolverTest = testing::WithTemporaryUserFolders;
using testing::readFile;
using testing::writeFile;

TEST_F(DataFolderResolverTest, AFormerFolderThatCannotBeMovedIsUsedWhereItIsUntilTheNextRun) {
    const QString quendor = folders.dataHome() + QStringLiteral("/Quendor");
    writeFile(quendor + QStringLiteral("/history.json"), "[quendor]");
    int moves = 0;
    DataFolderResolver thisRun([&](const QString &, const QString &) -> std::optional<QString> {
        ++moves;
        return QStringLiteral("Invalid cross-device link");
    });
    EXPECT_EQ(thisRun.resolve(folders.dataHome()), quendor);
    EXPECT_EQ(thisRun.resolve(folders.dataHome()), quendor);
    EXPECT_EQ(moves, 1) << "one try per run";
    EXPECT_FALSE(QFileInfo::exists(folders.dataFolder()));
    // A data location that cannot be looked at for a while (behind a loop
    // of links) sends none of this run's readers or writers elsewhere.
    const QByteArray home = QFile::encodeName(folders.dataHome());
    const QByteArray away = home + QByteArray(".away");
    const QByteArray loop = home + QByteArray(".loop");
    ASSERT_EQ(::rename(home.constData(), away.constData()), 0);
    ASSERT_EQ(::symlink(loop.constData(), home.constData()), 0);
    ASSERT_EQ(::symlink(home.constData(), loop.constData()), 0);
    EXPECT_EQ(thisRun.resolve(folders.dataHome()), quendor);
    ASSERT_EQ(::unlink(home.constData()), 0);
    ASSERT_EQ(::rename(away.constData(), home.constData()), 0);

    // The user is told once why.
    EXPECT_EQ(thisRun.takeMoveNotice(),
              QStringLiteral("无法迁移旧的数据文件夹（Invalid cross-device link），本次继续使用原来"
                             "的位置：") +
                  quendor + QStringLiteral("。下次启动时会再试一次。"));
    EXPECT_EQ(thisRun.takeMoveNotice(), std::nullopt);

    // The next run moves it, with everything in it.
    DataFolderResolver nextRun(&DataFolderResolver::renameFolder);
    EXPECT_EQ(nextRun.resolve(folders.dataHome()), folders.dataFolder());
    EXPECT_EQ(readFile(folders.dataFolder() + QStringLiteral("/history.json")), "[quendor]");
    EXPECT_FALSE(QFileInfo::exists(quendor));
    EXPECT_EQ(nextRun.takeMoveNotice(), std::nullopt);
    // The real move says why it failed.
    EXPECT_TRUE(DataFolderResolver::renameFolder(quendor, folders.dataFolder()).has_value());
}

} // namespace
} // namespace tovalit
