#include "support/atomic_file.h"
#include "tests/support/killed_saves.h"
#include "tests/support/small_tmpfs.h"
#include "tests/support/test_session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovalit {
namespace {

using testing::entriesOf;
using testing::readFile;

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TEST(AtomicFile, ReplacesTheWholeFileKeepingItsPermissions) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("data.json"));
    ASSERT_EQ(atomicfile::replace(path, "first"), std::nullopt);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    ASSERT_EQ(atomicfile::replace(path, QByteArray(100000, 'b')), std::nullopt);

    EXPECT_EQ(readFile(path), QByteArray(100000, 'b'));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(entriesOf(folder.path()), QStringList{QStringLiteral("data.json")});

    // A folder that is gone: the reason, and nothing written.
    const auto error =
        atomicfile::replace(folder.filePath(QStringLiteral("missing/data.json")), "x");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

TEST(AtomicFile, AFileThatIsALinkIsReplacedWhereTheLinkLeads) {
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("synced")));
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("data")));
    const QString target = folder.filePath(QStringLiteral("synced/lexicon.json"));
    const QString link = folder.filePath(QStringLiteral("data/lexicon.json"));
    ASSERT_TRUE(writeFile(target, "old"));
    ASSERT_EQ(::symlink("../synced/lexicon.json", QFile::encodeName(link).constData()), 0);

    ASSERT_EQ(atomicfile::replace(link, "new"), std::nullopt);
    EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link was replaced by a plain file";
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(entriesOf(folder.filePath(QStringLiteral("synced"))),
              QStringList{QStringLiteral("lexicon.json")});
    EXPECT_EQ(entriesOf(folder.filePath(QStringLiteral("data"))),
              QStringList{QStringLiteral("lexicon.json")});
}

TEST(AtomicFile, OnlyTemporariesOfDeadWritersAreRemoved) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("data.json"));
    ASSERT_TRUE(writeFile(path, "{}"));
    const QString stale = QStringLiteral(".data.json.saving-Ab3dE6gH9k");
    const QString live = QStringLiteral(".data.json.saving-LiveWriter");
    const QString otherFiles = QStringLiteral(".other.json.saving-Ab3dE6gH9k");
    const QStringList notTemporaries{
        QStringLiteral("data.json.backup"),            // a user's copy
        QStringLiteral(".data.json.saving-short"),     // not our name
        QStringLiteral(".data.json.saving-Ab3dE6gH9"), // one character short
        QStringLiteral("data.json.saving-Ab3dE6gH9k"), // not hidden
    };
    for (const QString &name : QStringList{stale, live, otherFiles} + notTemporaries)
        ASSERT_TRUE(writeFile(folder.filePath(name), "partial"));
    // Named like a temporary, but a folder and a link: never ours to remove.
    const QString folderNamed = QStringLiteral(".data.json.saving-AFolder123");
    const QString linkNamed = QStringLiteral(".data.json.saving-ALink12345");
    ASSERT_TRUE(QDir(folder.path()).mkdir(folderNamed));
    ASSERT_TRUE(QFile::link(path, folder.filePath(linkNamed)));

    // A writer that is alive holds its temporary locked.
    const int held = ::open(QFile::encodeName(folder.filePath(live)).constData(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    EXPECT_TRUE(atomicfile::isTemporaryNameOf(stale, QStringLiteral("data.json")));
    EXPECT_FALSE(atomicfile::isTemporaryNameOf(otherFiles, QStringLiteral("data.json")));
    atomicfile::removeStaleTemporaries(path);
    QStringList expected =
        QStringList{QStringLiteral("data.json"), live, otherFiles, folderNamed, linkNamed} +
        notTemporaries;
    expected.sort();
    EXPECT_EQ(entriesOf(folder.path()), expected);

    // Once the writer is gone its temporary goes too; the listing form
    // removes what it is given, whatever file it belongs to.
    ::close(held);
    atomicfile::removeStaleTemporaries(folder.path(), {live, otherFiles, notTemporaries[0]});
    expected.removeOne(live);
    expected.removeOne(otherFiles);
    EXPECT_EQ(entriesOf(folder.path()), expected);
}

TEST(AtomicFile, AFullDiskLeavesThePreviousFileAndNoTemporary) {
    testing::SmallTmpfs disk(64);
    TOVALIT_REQUIRE_ENVIRONMENT(disk.isMounted(), disk.error().toStdString());
    const QString path = disk.path() + QStringLiteral("/data.json");
    ASSERT_EQ(atomicfile::replace(path, "previous"), std::nullopt);
    disk.fill();

    // Small enough to sit in a write buffer, and larger than the disk.
    for (const qsizetype size : {qsizetype(3000), qsizetype(200000)}) {
        const auto error = atomicfile::replace(path, QByteArray(size, 'n'));
        ASSERT_TRUE(error.has_value()) << size;
        EXPECT_EQ(*error, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        EXPECT_EQ(readFile(path), QByteArray("previous"));
        EXPECT_EQ(entriesOf(disk.path()),
                  (QStringList{QStringLiteral(".filler"), QStringLiteral("data.json")}));
    }

    disk.release();
    EXPECT_EQ(atomicfile::replace(path, QByteArray(3000, 'n')), std::nullopt);
    EXPECT_EQ(readFile(path), QByteArray(3000, 'n'));
}

} // namespace
} // namespace tovalit
