#include "platform/linux/ini_defaults_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/temporary_user_folders.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace tovalit {
namespace {

using testing::ScopedEnvironmentVariable;

class TovalitDebugLoggerTest : public testing::WithTemporaryUserFolders {
protected:
    QString logPath() const {
        return folders.dataFolder() + QStringLiteral("/Diagnostics/insertion-debug.log");
    }

    QByteArray logContents() const {
        TovalitDebugLogger::flush();
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void setDefaultsKey(bool value) {
        IniDefaultsStore(IniDefaultsStore::standardFilePath())
            .setBoolean(QLatin1String(TovalitDebugLogger::defaultsKey), value);
    }
};

TEST_F(TovalitDebugLoggerTest, EnvironmentVariableDecidesWheneverPresent) {
    setDefaultsKey(true);
    const std::pair<const char *, bool> cases[] = {
        {" Yes\n", true}, {"ON", true}, {"1", true},   {"true", true},
        {"0", false},     {"", false},  {"no", false}, {"enabled", false},
    };
    for (const auto &[value, expected] : cases) {
        ScopedEnvironmentVariable variable(TovalitDebugLogger::environmentVariable,
                                           QByteArray(value));
        EXPECT_EQ(TovalitDebugLogger::isEnabled(), expected) << '"' << value << '"';
    }
}

TEST_F(TovalitDebugLoggerTest, WithoutTheVariableTheUserSettingDecides) {
    ScopedEnvironmentVariable variable(TovalitDebugLogger::environmentVariable, std::nullopt);
    EXPECT_FALSE(TovalitDebugLogger::isEnabled());

    std::atomic<int> built = 0;
    TovalitDebugLogger::log(QStringLiteral("capture"), [&built] {
        ++built;
        return QStringLiteral("x");
    });
    EXPECT_EQ(logContents(), QByteArray());
    EXPECT_EQ(built, 0) << "a switched-off log never builds its message";
    EXPECT_FALSE(QDir(folders.dataFolder()).exists()) << "nor creates any folder";

    setDefaultsKey(true);
    EXPECT_TRUE(TovalitDebugLogger::isEnabled());
    setDefaultsKey(false);
    EXPECT_FALSE(TovalitDebugLogger::isEnabled());
}

TEST_F(TovalitDebugLoggerTest, FirstLineCreatesTheFoldersAndLinesHaveTheFixedShape) {
    ScopedEnvironmentVariable variable(TovalitDebugLogger::environmentVariable, QByteArray("1"));
    TovalitDebugLogger::startNewSession(QStringLiteral("app launch pid=42"));
    const QString field = QStringLiteral("第二行\n保留");
    TovalitDebugLogger::log(QStringLiteral("insert.start"),
                            [field]() -> QString { return QStringLiteral("a=1 | b=") + field; });

    const QString text = QString::fromUtf8(logContents());
    static const QRegularExpression shape(QStringLiteral(
        R"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] \[session\] ===== app launch pid=42 =====\n)"
        R"(\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] \[insert\.start\] a=1 \| b=第二行\n保留\n$)"));
    EXPECT_TRUE(shape.match(text).hasMatch()) << text.toStdString();
}

TEST_F(TovalitDebugLoggerTest, LinesKeepCallOrderAndNeverInterleave) {
    ScopedEnvironmentVariable variable(TovalitDebugLogger::environmentVariable, QByteArray("1"));
    QDir().mkpath(folders.dataFolder() + QStringLiteral("/Diagnostics"));
    {
        QFile existing(logPath());
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("earlier run\n");
    }
    for (int i = 0; i < 200; ++i)
        TovalitDebugLogger::log(QStringLiteral("order"), QString::number(i));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i)
                TovalitDebugLogger::log(QStringLiteral("thread"),
                                        QStringLiteral("t%1-%2").arg(t).arg(i));
        });
    }
    for (auto &thread : threads)
        thread.join();

    const QList<QByteArray> lines = logContents().split('\n');
    ASSERT_EQ(lines.size(), 1 + 200 + 400 + 1);
    EXPECT_EQ(lines.front(), "earlier run") << "appending never truncates";
    for (int i = 0; i < 200; ++i)
        EXPECT_TRUE(
            lines[1 + i].endsWith(QByteArray(QByteArray("[order] ") + QByteArray::number(i))))
            << lines[1 + i].constData();
    std::vector<int> next(4, 0);
    for (int i = 201; i < 601; ++i) {
        static const QRegularExpression threadLine(QStringLiteral(R"(\[thread\] t(\d)-(\d+)$)"));
        const auto match = threadLine.match(QString::fromUtf8(lines[i]));
        ASSERT_TRUE(match.hasMatch()) << lines[i].constData();
        const int t = match.captured(1).toInt();
        EXPECT_EQ(match.captured(2).toInt(), next[t]++) << "one thread's lines stay in order";
    }
}

TEST_F(TovalitDebugLoggerTest, LoggingFirstStillMovesAFormerDataFolderIntoPlace) {
    ScopedEnvironmentVariable variable(TovalitDebugLogger::environmentVariable, QByteArray("on"));
    const QString former = folders.dataHome() + QStringLiteral("/Quendor");
    QDir().mkpath(former);
    {
        QFile history(former + QStringLiteral("/history.json"));
        ASSERT_TRUE(history.open(QIODevice::WriteOnly));
        history.write("[]");
    }
    TovalitDebugLogger::log(QStringLiteral("session"), QStringLiteral("x"));
    TovalitDebugLogger::flush();
    EXPECT_TRUE(QFile::exists(folders.dataFolder() + QStringLiteral("/history.json")));
    EXPECT_TRUE(QFile::exists(logPath()));
    EXPECT_FALSE(QDir(former).exists());
}

TEST_F(TovalitDebugLoggerTest, AnUnwritableLogDropsTheLineQuietly) {
    ScopedEnvironmentVariable variable(TovalitDebugLogger::environmentVariable, QByteArray("1"));
    // A folder where the file should be: every open fails.
    QDir().mkpath(logPath());
    TovalitDebugLogger::log(QStringLiteral("x"), QStringLiteral("y"));
    TovalitDebugLogger::flush();
    EXPECT_TRUE(QFileInfo(logPath()).isDir());
}

// Set when the writer thread has ended: a thread's own objects are
// destroyed as it ends, before anyone joining it goes on.
std::atomic<bool> writerThreadEnded = false;
struct WriterThreadWitness {
    ~WriterThreadWitness() { writerThreadEnded = true; }
};
thread_local std::optional<WriterThreadWitness> writerThreadWitness;

TEST_F(TovalitDebugLoggerTest, ShutdownWritesWhatIsQueuedAndEndsTheWriterThread) {
    ScopedEnvironmentVariable variable(TovalitDebugLogger::environmentVariable, QByteArray("1"));
    TovalitDebugLogger::log(QStringLiteral("session"), QStringLiteral("before"));
    writerThreadEnded = false;
    // Built on the writer thread, which takes the witness with it.
    TovalitDebugLogger::log(QStringLiteral("session"), []() -> QString {
        writerThreadWitness.emplace();
        return QStringLiteral("last words");
    });
    TovalitDebugLogger::shutdown();
    EXPECT_TRUE(writerThreadEnded) << "the writer thread outlives the shutdown";
    QFile file(logPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_TRUE(written.contains("[session] before\n") &&
                written.endsWith("[session] last words\n"))
        << written.constData();
    file.close();

    TovalitDebugLogger::shutdown();
    TovalitDebugLogger::log(QStringLiteral("session"), QStringLiteral("after"));
    EXPECT_TRUE(logContents().endsWith("[session] after\n")) << "a later line starts a new writer";
}

TEST(TovalitDebugLoggerText, DescribeAndPreview) {
    struct Range {
        qint64 location;
        qint64 length;
    };
    EXPECT_EQ(TovalitDebugLogger::describe(std::optional<Range>()), QStringLiteral("<nil>"));
    EXPECT_EQ(TovalitDebugLogger::describe(std::optional<Range>(Range{0, 0})),
              QStringLiteral("0..<0"));
    EXPECT_EQ(TovalitDebugLogger::describe(std::optional<Range>(Range{3, 2})),
              QStringLiteral("3..<5"));
    EXPECT_EQ(TovalitDebugLogger::describeRange(std::numeric_limits<qint64>::max(), 1),
              QStringLiteral("9223372036854775807..<9223372036854775808"));

    EXPECT_EQ(TovalitDebugLogger::preview(std::nullopt, 10), QStringLiteral("<nil>"));
    EXPECT_EQ(TovalitDebugLogger::preview(QStringLiteral(" \t "), 10), QStringLiteral("<empty>"));
    EXPECT_EQ(TovalitDebugLogger::preview(QStringLiteral("a\nb\n"), 10),
              QStringLiteral("a\\nb\\n"));
    EXPECT_EQ(TovalitDebugLogger::preview(QStringLiteral("  你好👍🏽世界  "), 3),
              QStringLiteral("你好👍🏽..."))
        << "the limit counts characters, not code units";
    EXPECT_EQ(TovalitDebugLogger::preview(QStringLiteral("abc"), 3), QStringLiteral("abc"));
}

} // namespace
} // namespace tovalit
