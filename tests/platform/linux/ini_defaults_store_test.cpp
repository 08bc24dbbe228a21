#include "platform/linux/ini_defaults_store.h"
#include "tests/support/file_contents.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>

namespace tovalit {
namespace {

using IniDefaultsStoreTest = testing::WithTemporaryUserFolders;

TEST_F(IniDefaultsStoreTest, ValuesSurviveANewInstanceWithTheirKinds) {
    const QString path = IniDefaultsStore::standardFilePath();
    EXPECT_EQ(path, folders.configHome() + QStringLiteral("/Tovalit/Tovalit.ini"));
    {
        IniDefaultsStore store(path);
        store.setBoolean(QStringLiteral("vellup_transcriber.keepAudioFiles"), false);
        store.setString(QStringLiteral("vellup_transcriber.preferredLocaleIdentifier"),
                        QStringLiteral("zh-CN"));
        store.setString(QStringLiteral("comma"), QStringLiteral("a, b"));
        store.setString(QStringLiteral("at"), QStringLiteral("@ByteArray(x)"));
        store.setData(QStringLiteral("vellup_transcriber.shortcutConfiguration"),
                      QByteArray("{\"kind\":1}\n\0x", 14));
        store.setString(QStringLiteral("gone"), QStringLiteral("x"));
        store.remove(QStringLiteral("gone"));
    }
    ASSERT_TRUE(QFile::exists(path)) << "every write reaches the file at once";

    const IniDefaultsStore reread(path);
    EXPECT_EQ(reread.boolean(QStringLiteral("vellup_transcriber.keepAudioFiles")), false);
    EXPECT_EQ(reread.string(QStringLiteral("vellup_transcriber.preferredLocaleIdentifier")),
              QStringLiteral("zh-CN"));
    EXPECT_FALSE(reread.boolean(QStringLiteral("vellup_transcriber.preferredLocaleIdentifier")));
    EXPECT_EQ(reread.string(QStringLiteral("comma")), QStringLiteral("a, b"));
    EXPECT_EQ(reread.string(QStringLiteral("at")), QStringLiteral("@ByteArray(x)"))
        << "text never turns into data";
    EXPECT_FALSE(reread.data(QStringLiteral("at")));
    EXPECT_EQ(reread.data(QStringLiteral("vellup_transcriber.shortcutConfiguration")),
              QByteArray("{\"kind\":1}\n\0x", 14));
    EXPECT_FALSE(reread.string(QStringLiteral("vellup_transcriber.shortcutConfiguration")));
    EXPECT_FALSE(reread.contains(QStringLiteral("gone")));
}

// The file is replaced whole on every write, so its inode tells a write.
ino_t inodeOf(const QString &path) {
    struct stat status {};
    return stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

TEST_F(IniDefaultsStoreTest, AValueTheFileAlreadyHoldsIsNotWrittenAgain) {
    const QString path = IniDefaultsStore::standardFilePath();
    const auto setAll = [](IniDefaultsStore &store) {
        store.setBoolean(QStringLiteral("flag"), true);
        store.setString(QStringLiteral("text"), QStringLiteral("一"));
        store.setData(QStringLiteral("data"), QByteArray("\0x", 2));
        return store.synchronize();
    };
    IniDefaultsStore store(path);
    ASSERT_EQ(setAll(store), std::nullopt);
    const ino_t written = inodeOf(path);
    ASSERT_NE(written, 0u);

    ASSERT_EQ(setAll(store), std::nullopt);
    IniDefaultsStore another(path);
    ASSERT_EQ(setAll(another), std::nullopt);
    EXPECT_EQ(inodeOf(path), written) << "the same values were written to the file again";

    // Text that reads like the stored data, and a real change, are written.
    another.setString(QStringLiteral("data"), QStringLiteral("@ByteArray(\\0x)"));
    ASSERT_EQ(another.synchronize(), std::nullopt);
    EXPECT_NE(inodeOf(path), written);
    const ino_t rewritten = inodeOf(path);
    another.setBoolean(QStringLiteral("flag"), false);
    ASSERT_EQ(another.synchronize(), std::nullopt);
    EXPECT_NE(inodeOf(path), rewritten);
    EXPECT_EQ(IniDefaultsStore(path).boolean(QStringLiteral("flag")), false);
}

TEST_F(IniDefaultsStoreTest, HandEditedTextIsReadByKind) {
    const QString path = IniDefaultsStore::standardFilePath();
    QDir().mkpath(folders.configHome() + QStringLiteral("/Tovalit"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nvellup_transcriber.keepAudioFiles=yes\nvellup_transcriber."
               "autoCopyFinalText=false\n");
    file.close();

    const IniDefaultsStore store(path);
    EXPECT_FALSE(store.boolean(QStringLiteral("vellup_transcriber.keepAudioFiles")));
    EXPECT_EQ(store.string(QStringLiteral("vellup_transcriber.keepAudioFiles")),
              QStringLiteral("yes"));
    EXPECT_EQ(store.boolean(QStringLiteral("vellup_transcriber.autoCopyFinalText")), false);
}

// A user's file as another program rewrites it in place (a copy from a
// backup, an editor that saves in place, a sync tool): truncated, then
// written part by part.
const QByteArray usersFile = "[General]\n"
                             "vellup_transcriber.autoCopyFinalText=false\n"
                             "vellup_transcriber.keepAudioFiles=false\n"
                             "vellup_transcriber.cachedMicrophonePermission=denied\n"
                             "\n"
                             "[user]\n"
                             "name=someone\n";
const QString microphone = QStringLiteral("vellup_transcriber.cachedMicrophonePermission");

TEST_F(IniDefaultsStoreTest, AFileCutMidLineIsReadAsUnreadableAndNeverReplaced) {
    const QString path = IniDefaultsStore::standardFilePath();
    const QByteArray half = usersFile.left(usersFile.indexOf("keepAudioFiles") + 10);
    testing::writeFile(path, half);

    IniDefaultsStore store(path);
    ASSERT_TRUE(store.loadProblem()) << "what the start read is not the user's file";
    EXPECT_TRUE(store.loadProblem()->startsWith(QDir::toNativeSeparators(path)));
    EXPECT_TRUE(store.loadProblem()->contains(QStringLiteral("尚未写完")))
        << store.loadProblem()->toStdString();
    EXPECT_FALSE(store.boolean(QStringLiteral("vellup_transcriber.autoCopyFinalText")));

    store.setString(microphone, QStringLiteral("granted"));
    EXPECT_TRUE(store.synchronize()) << "a save over the writer's first bytes";
    EXPECT_EQ(testing::readFile(path), half);
    EXPECT_EQ(testing::entriesOf(QFileInfo(path).path()),
              QStringList{QStringLiteral("Tovalit.ini")});

    // The writer is done: the change goes into its file.
    testing::writeFile(path, usersFile);
    EXPECT_EQ(store.synchronize(), std::nullopt);
    EXPECT_FALSE(store.loadProblem());
    EXPECT_EQ(store.boolean(QStringLiteral("vellup_transcriber.autoCopyFinalText")), false);
    QByteArray expected = usersFile;
    expected.replace("Permission=denied", "Permission=granted");
    EXPECT_EQ(testing::readFile(path), expected);

    // A person's editor that saves no final line end: once the file has
    // held still a while, it is finished, and read whole.
    testing::writeFile(path, usersFile.chopped(1));
    const struct timespec minuteAgo = {::time(nullptr) - 60, 0};
    const struct timespec times[2] = {minuteAgo, minuteAgo};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    IniDefaultsStore edited(path);
    EXPECT_FALSE(edited.loadProblem()) << edited.loadProblem()->toStdString();
    EXPECT_EQ(edited.boolean(QStringLiteral("vellup_transcriber.autoCopyFinalText")), false);
    edited.setString(microphone, QStringLiteral("granted"));
    EXPECT_EQ(edited.synchronize(), std::nullopt);
    EXPECT_EQ(testing::readFile(path), expected);
}

// A person's editor that saved the file a moment before the start, with no
// final line end: two reads a few seconds apart that find the same bytes
// take it, where another writer's pause would have shown in the bytes.
TEST_F(IniDefaultsStoreTest, AFreshFileWithoutAFinalLineEndIsTakenOnceTwoReadsAgree) {
    const QString path = IniDefaultsStore::standardFilePath();
    testing::writeFile(path, usersFile.chopped(1));
    double now = 100.0;
    IniDefaultsStore store(path, {}, [&] { return now; });
    ASSERT_TRUE(store.loadProblem()) << "a file that may still be written";
    store.setString(microphone, QStringLiteral("granted"));

    now += 1.0;
    EXPECT_TRUE(store.synchronize()) << "a writer's pause of a second";
    EXPECT_EQ(testing::readFile(path), usersFile.chopped(1));

    // The writer was not done: its next bytes start the wait again.
    QByteArray longer = usersFile;
    longer += "more=1";
    testing::writeFile(path, longer);
    now += 2.5;
    EXPECT_TRUE(store.synchronize()) << "bytes that changed since the last read";
    EXPECT_EQ(testing::readFile(path), longer);

    now += 1.0;
    EXPECT_TRUE(store.synchronize());
    now += 2.0;
    EXPECT_EQ(store.synchronize(), std::nullopt) << "the same bytes three seconds apart";
    EXPECT_FALSE(store.loadProblem());
    EXPECT_EQ(store.boolean(QStringLiteral("vellup_transcriber.autoCopyFinalText")), false);
    QByteArray expected = longer + "\n";
    expected.replace("Permission=denied", "Permission=granted");
    EXPECT_EQ(testing::readFile(path), expected);
}

TEST_F(IniDefaultsStoreTest, AFileWrittenBetweenASavesReadAndItsRenameIsNeverReplaced) {
    const QString path = IniDefaultsStore::standardFilePath();
    testing::writeFile(path, usersFile);
    // A restore of the user's file, one line longer, comes in just as the
    // save has read the file.
    QByteArray restored = usersFile;
    restored.insert(restored.indexOf("vellup_transcriber.cachedMicrophone"),
                    "vellup_transcriber.meetingModeEnabled=false\n");
    bool writerComes = false;
    IniDefaultsStore store(path, [&] {
        if (std::exchange(writerComes, false))
            testing::writeFile(path, restored);
    });
    store.setString(microphone, QStringLiteral("granted"));
    writerComes = true;
    const std::optional<QString> error = store.synchronize();
    ASSERT_TRUE(error) << "a save over a file it never read";
    EXPECT_TRUE(error->contains(QStringLiteral("another program"))) << error->toStdString();
    EXPECT_EQ(testing::readFile(path), restored);
    EXPECT_EQ(testing::entriesOf(QFileInfo(path).path()),
              QStringList{QStringLiteral("Tovalit.ini")})
        << "the save's temporary stays behind";

    // The next save reads what the writer wrote.
    EXPECT_EQ(store.synchronize(), std::nullopt) << "the change stayed pending";
    QByteArray expected = restored;
    expected.replace("Permission=denied", "Permission=granted");
    EXPECT_EQ(testing::readFile(path), expected);

    // Another writer of the same length within the same tick is told by
    // the text.
    QByteArray sameLength = expected;
    sameLength.replace("name=someone", "name=someon2");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    IniDefaultsStore racing(path, [&] {
        if (!std::exchange(writerComes, false))
            return;
        testing::writeFile(path, sameLength);
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    });
    racing.setString(microphone, QStringLiteral("denied"));
    writerComes = true;
    EXPECT_TRUE(racing.synchronize());
    EXPECT_EQ(testing::readFile(path), sameLength);
}

} // namespace
} // namespace tovalit
