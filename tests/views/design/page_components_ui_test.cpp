#include "tests/support/run_task.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_segmented_control.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_sheet.h"
#include "views/design/tovalit_symbol.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(SymbolDrawingsTest, EveryBundledDrawingLoadsAndDrawsSomething) {
    const QStringList drawings = QDir(QStringLiteral(":/symbols")).entryList(QDir::Files);
    ASSERT_GE(drawings.size(), 30);
    for (const QString &file : drawings) {
        QSvgRenderer renderer(QStringLiteral(":/symbols/") + file);
        EXPECT_TRUE(renderer.isValid()) << file.toStdString();
        const QImage image = TovalitSymbol::pixmap(file.chopped(4), 24, Qt::black, 1.0).toImage();
        int covered = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                covered += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(covered, 20) << file.toStdString() << " draws nothing";
    }
}

TEST(SelectableTextTest, TheLineLimitCutsWhatIsShownAndSelected) {
    TovalitSelectableText text(QStringLiteral("第一行\n") +
                                   QStringLiteral("很长的内容").repeated(20),
                               tovalitFont(13), Qt::black);
    text.setMaximumLineCount(2);
    text.resize(120, text.heightForWidth(120));
    EXPECT_EQ(text.lineCountForWidth(120), 2);
    const QString shown = text.shownText(120);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("第一行\n很长"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    text.selectAll();
    EXPECT_EQ(text.selectedText(), shown) << "only what is seen can be selected";

    text.setMaximumLineCount(0);
    EXPECT_GT(text.lineCountForWidth(120), 5);
    EXPECT_EQ(text.shownText(120), text.text());
}

TEST(SelectableTextTest, DraggingSelectsAndTheKeyboardCopies) {
    TovalitSelectableText text(QStringLiteral("部署到 Kovarindel 集群"), tovalitFont(13),
                               Qt::black);
    text.resize(text.sizeHint());
    text.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&text));

    const int middle = text.height() / 2;
    QTest::mousePress(&text, Qt::LeftButton, {}, QPoint(1, middle));
    QTest::mouseMove(&text, QPoint(text.width() - 1, middle));
    QMouseEvent drag(QEvent::MouseMove, QPointF(text.width() - 1, middle),
                     text.mapToGlobal(QPointF(text.width() - 1, middle)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&text, &drag);
    QTest::mouseRelease(&text, Qt::LeftButton, {}, QPoint(text.width() - 1, middle));
    EXPECT_EQ(text.selectedText(), text.text());

    QApplication::clipboard()->clear();
    QTest::keyClick(&text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), text.text());

    // A double click takes the word under the pointer.
    const QFontMetrics metrics(text.font());
    const int insideWord = metrics.horizontalAdvance(QStringLiteral("部署到 Kovar"));
    QTest::mouseDClick(&text, Qt::LeftButton, {}, QPoint(insideWord, middle));
    EXPECT_EQ(text.selectedText(), QStringLiteral("Kovarindel"));
}

TEST(PageControlsTest, SegmentsSheetsAndSearchFields) {
    TovalitSegmentedControl picker(
        {QStringLiteral("全部"), QStringLiteral("内置"), QStringLiteral("我的")});
    QSignalSpy chosen(&picker, &TovalitSegmentedControl::currentIndexChanged);
    EXPECT_EQ(picker.currentIndex(), 0);
    picker.setCurrentIndex(1);
    EXPECT_EQ(chosen.count(), 0) << "only the user's choice notifies";
    picker.segment(2)->click();
    EXPECT_EQ(picker.currentIndex(), 2);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen[0][0].toInt(), 2);

    // A sheet asks its owner instead of closing itself.
    QWidget window;
    auto *sheet = new TovalitSheet(QSize(300, 200), &window);
    QSignalSpy cancels(sheet, &TovalitSheet::cancelRequested);
    window.show();
    sheet->open();
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_EQ(cancels.count(), 1);
    EXPECT_TRUE(sheet->isVisible());
    sheet->close();
    EXPECT_EQ(cancels.count(), 2);
    EXPECT_TRUE(sheet->isVisible());
    sheet->done(0);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(sheet->size(), QSize(300, 200));

    TovalitSearchField field(QStringLiteral("搜索转写内容"));
    EXPECT_EQ(field.placeholderText(), QStringLiteral("搜索转写内容"));
    EXPECT_TRUE(field.isClearButtonEnabled());
}

} // namespace
} // namespace tovalit
