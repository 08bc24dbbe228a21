#include "platform/fake/in_memory_pasteboard.h"
#include "services/text_injection/pasteboard_snapshot.h"
#include "tests/support/capture_log.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(PasteboardSnapshotTest, KeepsReadableFormsInOrderAndDropsItemsWithNone) {
    PasteboardItem rich;
    rich.representations = {{QStringLiteral("text/html"), QByteArray("<b>x</b>")},
                            {QStringLiteral("image/png"), std::nullopt},
                            {QStringLiteral("text/plain"), QByteArray("x")}};
    PasteboardItem unreadable;
    unreadable.representations = {{QStringLiteral("application/x-secret"), std::nullopt}};

    const PasteboardSnapshot snapshot({rich, unreadable});
    ASSERT_EQ(snapshot.items.size(), 1);
    const QList<PasteboardItem> rebuilt = snapshot.makePasteboardItems();
    ASSERT_EQ(rebuilt.size(), 1);
    EXPECT_EQ(rebuilt[0].representations, (QList<PasteboardRepresentation>{
                                              {QStringLiteral("text/html"), QByteArray("<b>x</b>")},
                                              {QStringLiteral("text/plain"), QByteArray("x")}}));
    EXPECT_TRUE(PasteboardSnapshot(QList<PasteboardItem>()).makePasteboardItems().isEmpty());
}

TEST(PasteboardSnapshotTest, ItemReplacesAFormItAlreadyHas) {
    PasteboardItem item;
    item.setString(QStringLiteral("一"));
    item.setData(QStringLiteral("text/html"), QByteArray("<i>一</i>"));
    item.setString(QStringLiteral("二"));
    EXPECT_EQ(item.representations.size(), 2);
    EXPECT_EQ(item.data(Pasteboard::stringType), QStringLiteral("二").toUtf8());
}

class PasteboardSnapshotRestoreTest : public testing::WithDiagnosticsLog {};

// Whenever the user's clipboard does not come back, the log says why.
TEST_F(PasteboardSnapshotRestoreTest, ARestoreThatLeavesTheClipboardAsItIsSaysWhy) {
    InMemoryPasteboard pasteboard;
    pasteboard.copyFromElsewhere(QStringLiteral("用户的"));
    const PasteboardSnapshot users(testing::runTask(pasteboard.pasteboardItems()));
    PasteboardItem dictation;
    dictation.setString(QStringLiteral("听写的"));
    ASSERT_TRUE(pasteboard.writeObjects({dictation}));
    const qint64 written = pasteboard.changeCount();

    pasteboard.refuseNextWrites(1);
    users.writeBack(pasteboard);
    PasteboardSnapshot unreadable;
    unreadable.unreadable = true;
    unreadable.writeBack(pasteboard, QStringLiteral("primary"));
    pasteboard.copyFromElsewhere(QStringLiteral("后来复制的"));
    users.writeBackUnlessChanged(pasteboard, written);

    EXPECT_EQ(logLines(QStringLiteral("insert.restore")),
              (QStringList{QStringLiteral("clipboard not restored | reason=write-refused"),
                           QStringLiteral("primary kept | reason=unreadable-before"),
                           QStringLiteral("clipboard kept | reason=changed-since")}));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("后来复制的"));
}

} // namespace
} // namespace tovalit
