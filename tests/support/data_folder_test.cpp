#include "support/data_folder.h"
#include "tests/support/file_contents.h"
#include "tests/support/temporary_user_folders.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using DataFolderTest = testing::WithTemporaryUserFolders;
using testing::readFile;
using testing::writeFile;

TEST_F(DataFolderTest, ResolvingNeverCreatesTheFolderButEnsuringDoes) {
    EXPECT_EQ(DataFolder::resolve(), folders.dataFolder());
    EXPECT_FALSE(QFileInfo::exists(folders.dataFolder()));
    EXPECT_EQ(DataFolder::ensureSubfolder(QStringLiteral("recordings")),
              folders.dataFolder() + QStringLiteral("/recordings"));
    EXPECT_TRUE(QFileInfo(folders.dataFolder() + QStringLiteral("/recordings")).isDir());
}

TEST_F(DataFolderTest, OnlyTheFirstFormerFolderMovesAndItsFilesComeAlong) {
    const QString quendor = folders.dataHome() + QStringLiteral("/Quendor");
    const QString older = folders.dataHome() + QStringLiteral("/VellupTranscriber");
    writeFile(quendor + QStringLiteral("/history.json"), "[quendor]");
    writeFile(older + QStringLiteral("/history.json"), "[older]");

    EXPECT_EQ(DataFolder::resolve(), folders.dataFolder());
    EXPECT_EQ(readFile(folders.dataFolder() + QStringLiteral("/history.json")), "[quendor]");
    EXPECT_FALSE(QFileInfo::exists(quendor));
    EXPECT_EQ(readFile(older + QStringLiteral("/history.json")), "[older]")
        << "the second former folder stays where it is";
}

TEST_F(DataFolderTest, TheMoveHappensEvenWhenALogLineIsTheFirstWrite) {
    // A logger that writes first must not create an empty "Tovalit" in the
    // way of the user's history.
    const QString older = folders.dataHome() + QStringLiteral("/VellupTranscriber");
    writeFile(older + QStringLiteral("/history.json"), "[older]");

    const QString diagnostics = DataFolder::ensureSubfolder(QStringLiteral("Diagnostics"));
    writeFile(diagnostics + QStringLiteral("/insertion-debug.log"), "line\n");

    EXPECT_EQ(readFile(folders.dataFolder() + QStringLiteral("/history.json")), "[older]");
    EXPECT_FALSE(QFileInfo::exists(older));
}

TEST_F(DataFolderTest, AnExistingFolderWinsOverAFormerOneThatAppearsLater) {
    const QString quendor = folders.dataHome() + QStringLiteral("/Quendor");
    writeFile(quendor + QStringLiteral("/history.json"), "[quendor]");
    EXPECT_EQ(DataFolder::resolve(), folders.dataFolder());

    writeFile(quendor + QStringLiteral("/history.json"), "[late]");
    EXPECT_EQ(DataFolder::resolve(), folders.dataFolder());
    EXPECT_EQ(readFile(folders.dataFolder() + QStringLiteral("/history.json")), "[quendor]");
    EXPECT_EQ(readFile(quendor + QStringLiteral("/history.json")), "[late]");
}

} // namespace
} // namespace tovalit
