#include "platform/linux/ini_defaults_store.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

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

} // namespace
} // namespace tovalit
