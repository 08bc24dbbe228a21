#include "platform/linux/qt_clipboard_pasteboard.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/x_clipboard_client.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::XClipboardClient;

class QtClipboardPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            if (testing::inTestSession())
                FAIL() << "no X server in the test session";
            GTEST_SKIP() << "needs the desktop session of scripts/test";
        }
    }

    // The targets another application is offered.
    static QStringList targets() {
        QProcess reader;
        reader.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                               QStringLiteral("clipboard"), QStringLiteral("-t"),
                                               QStringLiteral("TARGETS")});
        testing::waitUntil([&] { return reader.state() == QProcess::NotRunning; },
                           "xclip to list the targets");
        return QString::fromUtf8(reader.readAllStandardOutput())
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QtClipboardPasteboard pasteboard;
};

TEST_F(QtClipboardPasteboardTest, OwnWriteIsServedAndCountsOnceUntilSomebodyElseCopies) {
    PasteboardItem item;
    item.setString(QStringLiteral("你好"));
    item.setData(QStringLiteral("text/html"), QByteArray("<b>你好</b>"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    const qint64 written = pasteboard.changeCount();
    testing::processEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(pasteboard.changeCount(), written);

    EXPECT_EQ(XClipboardClient::paste(), QStringLiteral("你好"));
    EXPECT_TRUE(targets().contains(QStringLiteral("text/html")));
    const QList<PasteboardItem> items = pasteboard.pasteboardItems();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].data(Pasteboard::stringType), QStringLiteral("你好").toUtf8());
    EXPECT_EQ(items[0].data(QStringLiteral("text/html")), QByteArray("<b>你好</b>"));
    EXPECT_FALSE(items[0].data(QtClipboardPasteboard::ownWriteType));

    auto other = XClipboardClient::copy(QStringLiteral("别人的"));
    ASSERT_TRUE(other);
    EXPECT_NE(pasteboard.changeCount(), written);
    const QList<PasteboardItem> theirs = pasteboard.pasteboardItems();
    ASSERT_EQ(theirs.size(), 1);
    EXPECT_EQ(theirs[0].data(Pasteboard::stringType), QStringLiteral("别人的").toUtf8());
}

TEST_F(QtClipboardPasteboardTest, EveryCopyByAnotherApplicationMovesTheCount) {
    PasteboardItem item;
    item.setString(QStringLiteral("ours"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    const qint64 written = pasteboard.changeCount();
    auto other = XClipboardClient::copy(QStringLiteral("theirs"));
    ASSERT_TRUE(other);
    const qint64 afterOther = pasteboard.changeCount();
    EXPECT_NE(afterOther, written);
    auto another = XClipboardClient::copy(QStringLiteral("another"));
    ASSERT_TRUE(another);
    EXPECT_NE(pasteboard.changeCount(), afterOther);
}

TEST_F(QtClipboardPasteboardTest, ClearedClipboardOffersNothing) {
    PasteboardItem item;
    item.setString(QStringLiteral("gone soon"));
    ASSERT_TRUE(pasteboard.writeObjects({item}));
    const qint64 written = pasteboard.changeCount();
    pasteboard.clearContents();
    EXPECT_NE(pasteboard.changeCount(), written);
    EXPECT_TRUE(pasteboard.pasteboardItems().isEmpty());
    EXPECT_FALSE(XClipboardClient::paste());
    EXPECT_FALSE(pasteboard.writeObjects({}));
}

} // namespace
} // namespace tovalit
