#include "services/text_injection/pasteboard_snapshot.h"
#include "tests/support/qt_printers.h"

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

} // namespace
} // namespace tovalit
