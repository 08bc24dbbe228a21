#include "app/main_window.h"
#include "tests/support/run_task.h"
#include "views/design/configure_primary_window.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_badge_tone.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_glass_level.h"
#include "views/design/tovalit_glass_surface.h"
#include "views/design/tovalit_metric_card.h"
#include "views/design/tovalit_notice_card.h"
#include "views/design/tovalit_page_scroll_view.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"
#include "views/design/tovalit_window_accessor.h"

#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(DesignTokensTest, PaletteAndBadgeTones) {
    const QColor brand = TovalitPalette::brand();
    const QColor soft = TovalitPalette::brandSoft();
    EXPECT_EQ(soft.rgb(), brand.rgb());
    EXPECT_NEAR(soft.alphaF(), 0.16, 0.003);
    EXPECT_EQ(brand.alpha(), 255);
    EXPECT_EQ(TovalitPalette::brandStrong(), QColor::fromRgbF(0.1f, 0.66f, 0.66f));
    EXPECT_NEAR(TovalitPalette::toastForeground().alphaF(), 0.85 * 0.92, 0.003)
        << "opacities multiply";

    // Success and brand share their text colour and differ in the pill.
    EXPECT_EQ(foregroundColor(TovalitBadgeTone::success), foregroundColor(TovalitBadgeTone::brand));
    EXPECT_EQ(backgroundColor(TovalitBadgeTone::success),
              withOpacity(TovalitPalette::brandStrong(), 0.14));
    EXPECT_EQ(backgroundColor(TovalitBadgeTone::brand), withOpacity(TovalitPalette::brand(), 0.12));
    EXPECT_EQ(foregroundColor(TovalitBadgeTone::danger), TovalitPalette::red());
    EXPECT_EQ(foregroundColor(TovalitBadgeTone::neutral), TovalitPalette::secondary());

    EXPECT_EQ(TovalitTokens::FontStyle::badge().weight(), QFont::DemiBold);
    EXPECT_NEAR(QFontInfo(TovalitTokens::FontStyle::cardTitle()).pixelSize(), 16, 1);
}

TEST(DesignTokensTest, TheInterfaceFontDrawsChinese) {
    const QFont font = tovalitFont(13);
    const QFontMetrics metrics(font);
    for (QChar character : QStringLiteral("会议纪要模式已完成"))
        EXPECT_TRUE(metrics.inFont(character)) << tovalitFontFamily().toStdString();
    EXPECT_NE(tovalitFontFamily(), QString());
    // Fractional sizes are kept.
    EXPECT_NEAR(QFontInfo(tovalitFont(12.5)).pointSizeF() * 96.0 / 72.0, 12.5, 0.6);
}

TEST(GlassLevelTest, OnlyFloatingLevelsCastShadows) {
    const auto toast = TovalitGlassLevel::toast(false);
    const auto errorToast = TovalitGlassLevel::toast(true);
    EXPECT_EQ(toast.material(), errorToast.material());
    EXPECT_EQ(toast.overlayTint(), errorToast.overlayTint());
    EXPECT_EQ(toast.cornerRadius(), errorToast.cornerRadius());
    EXPECT_EQ(toast.shadowColor(), errorToast.shadowColor());
    EXPECT_NE(toast.strokeColor(), errorToast.strokeColor());
    EXPECT_EQ(errorToast.strokeColor(), withOpacity(TovalitPalette::red(), 0.24));
    EXPECT_EQ(toast.cornerRadius(), 10);
    EXPECT_EQ(TovalitGlassLevel::hud().cornerRadius(), 24);
    EXPECT_EQ(TovalitGlassLevel::card().material(), TovalitMaterial::ultraThin);
    EXPECT_EQ(TovalitGlassLevel::hud().material(), TovalitMaterial::regular);

    TovalitGlassSurface card(TovalitGlassLevel::card());
    EXPECT_EQ(card.graphicsEffect(), nullptr) << "an ordinary card casts no shadow";
    TovalitGlassSurface prominent(TovalitGlassLevel::prominentCard());
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(prominent.graphicsEffect());
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->blurRadius(), 14);
    EXPECT_EQ(shadow->offset(), QPointF(0, 8));
    prominent.setCastsShadow(false);
    EXPECT_EQ(prominent.graphicsEffect(), nullptr);

    // The glass covers its rounded outline and nothing else.
    card.resize(100, 60);
    QImage image(card.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    card.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "corner";
    EXPECT_GT(qAlpha(image.pixel(50, 30)), 100) << "middle";
}

TEST(GlassLevelTest, APartRepaintedAloneLooksAsInTheWhole) {
    // A repaint of part of a large surface paints only that part; it must
    // come out pixel for pixel as that part of the whole, at the corners,
    // along the border and in the middle, opaque or see-through.
    const QRectF surface(0, 0, 300, 200);
    for (const GlassBackdrop backdrop : {GlassBackdrop::translucent, GlassBackdrop::opaque}) {
        for (const TovalitGlassLevel &level : {TovalitGlassLevel::hud(), TovalitGlassLevel::card(),
                                               TovalitGlassLevel::toast(true)}) {
            QImage whole(300, 200, QImage::Format_ARGB32_Premultiplied);
            whole.fill(Qt::transparent);
            {
                QPainter painter(&whole);
                paintGlassSurface(painter, surface, level, backdrop);
            }
            for (const QRect &part :
                 {QRect(40, 30, 200, 120), QRect(1, 60, 80, 40), QRect(0, 60, 80, 40),
                  QRect(26, 2, 240, 30), QRect(26, 0, 240, 30), QRect(0, 0, 30, 30),
                  QRect(270, 170, 30, 30), QRect(3, 24, 20, 150)}) {
                QImage repainted(300, 200, QImage::Format_ARGB32_Premultiplied);
                repainted.fill(Qt::transparent);
                {
                    QPainter painter(&repainted);
                    painter.setClipRect(part);
                    paintGlassSurface(painter, surface, level, backdrop, part);
                }
                for (int y = part.top(); y <= part.bottom(); ++y) {
                    for (int x = part.left(); x <= part.right(); ++x)
                        ASSERT_EQ(repainted.pixel(x, y), whole.pixel(x, y)) << x << "," << y;
                }
            }
        }
    }
}

TEST(DesignComponentsTest, CardsKeepTheirRulesOfSize) {
    TovalitMetricCard metric(QStringLiteral("今日录音"), QStringLiteral("12 次"),
                             QStringLiteral("很长的说明").repeated(30), TovalitPalette::brand());
    EXPECT_EQ(metric.minimumHeight(), 156);
    EXPECT_EQ(metric.maximumHeight(), 156);

    TovalitNoticeCard shortNotice(QStringLiteral("已授权"), QStringLiteral("checkmark.circle.fill"),
                                  TovalitBadgeTone::success);
    TovalitNoticeCard longNotice(
        QStringLiteral("辅助技术未开启时，整理后的文本会留在剪贴板里，需要你手动粘贴。")
            .repeated(4),
        QStringLiteral("exclamationmark.circle.fill"), TovalitBadgeTone::warning);
    EXPECT_GT(longNotice.heightForWidth(400), shortNotice.heightForWidth(400) + 20)
        << "a long notice grows in height";
    EXPECT_EQ(longNotice.messageLabel()->maximumLineCount(), 0) << "never truncated";

    int actions = 0;
    TovalitEmptyStateCard withBoth(QStringLiteral("还没有历史"), QStringLiteral("tag"),
                                   QStringLiteral("说"), QStringLiteral("开始录音"),
                                   [&] { ++actions; });
    ASSERT_NE(withBoth.actionButton(), nullptr);
    withBoth.actionButton()->click();
    EXPECT_EQ(actions, 1);
    EXPECT_GE(withBoth.minimumHeight(), 320);
    TovalitEmptyStateCard titleOnly(QStringLiteral("空"), QStringLiteral("tag"),
                                    QStringLiteral("说"), QStringLiteral("开始录音"), {});
    EXPECT_EQ(titleOnly.actionButton(), nullptr);
    TovalitEmptyStateCard actionOnly(QStringLiteral("空"), QStringLiteral("tag"),
                                     QStringLiteral("说"), std::nullopt, [] {});
    EXPECT_EQ(actionOnly.actionButton(), nullptr);

    TovalitBadge badge(QStringLiteral("会议时间 05:00"), TovalitBadgeTone::brand);
    const int shortWidth = badge.sizeHint().width();
    badge.setTitle(QStringLiteral("会议时间 105:00"));
    EXPECT_GT(badge.sizeHint().width(), shortWidth) << "the badge grows with its text";

    TovalitPageScrollView page;
    auto *section = new QWidget;
    page.addSection(section);
    EXPECT_EQ(page.contentLayout()->indexOf(section), 0);
    EXPECT_EQ(page.contentLayout()->spacing(), 16);
    EXPECT_EQ(page.contentLayout()->contentsMargins(), QMargins(24, 24, 24, 24));
}

TEST(DesignComponentsTest, TextLabelsWrapLimitAndNeverReadMarkup) {
    TovalitTextLabel label(QStringLiteral("<i>一</i>二三四五六七八九十").repeated(8),
                           tovalitFont(12), Qt::black);
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    const int one = label.lineCountForWidth(2000);
    const int narrow = label.lineCountForWidth(120);
    EXPECT_EQ(one, 1);
    EXPECT_GT(narrow, 3) << "Chinese wraps between characters";
    EXPECT_FALSE(label.isTruncatedAtWidth(120));
    const int tall = label.heightForWidth(120);
    label.setLineSpacing(3);
    EXPECT_EQ(label.heightForWidth(120), tall + 3 * (narrow - 1));
    label.setMaximumLineCount(2);
    EXPECT_EQ(label.lineCountForWidth(120), 2);
    EXPECT_TRUE(label.isTruncatedAtWidth(120));
    label.setText(QStringLiteral("第一行\n第二行"));
    label.setMaximumLineCount(0);
    EXPECT_EQ(label.lineCountForWidth(2000), 2) << "line breaks are kept";
}

// A text cut by its line limit (a toast's long path, say) still shows
// every line above the cut, not only the last one with its ellipsis.
TEST(DesignComponentsTest, TextLabelsCutByTheirLimitDrawEveryLineTheyShow) {
    TovalitTextLabel label(QStringLiteral("一二三四五六七八九十").repeated(8), tovalitFont(12),
                           Qt::black);
    label.setMaximumLineCount(3);
    label.resize(120, label.heightForWidth(120));
    ASSERT_TRUE(label.isTruncatedAtWidth(120));
    QImage image(label.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    label.render(&image);
    const int band = image.height() / 3;
    for (int line = 0; line < 3; ++line) {
        int ink = 0;
        for (int y = line * band; y < (line + 1) * band; ++y)
            for (int x = 0; x < image.width(); ++x)
                ink += qGray(image.pixel(x, y)) < 128;
        EXPECT_GT(ink, 20) << "line " << line + 1 << " is blank";
    }
}

TEST(PrimaryWindowTest, OnlyTheMainWindowIsStyled) {
    MainWindow main;
    main.setWindowTitle(QStringLiteral("别的标题"));
    EXPECT_TRUE(isPrimaryWindow(&main)) << "by its identifier";
    configurePrimaryWindow(&main);
    configurePrimaryWindow(&main);
    EXPECT_TRUE(main.property("tovalitPrimaryWindowConfigured").toBool());

    QWidget named;
    named.setWindowTitle(QStringLiteral("Tovalit"));
    EXPECT_TRUE(isPrimaryWindow(&named)) << "by the product name";
    QWidget other;
    other.setWindowTitle(QStringLiteral("设置"));
    configurePrimaryWindow(&other);
    EXPECT_FALSE(isPrimaryWindow(&other));
    EXPECT_FALSE(other.property("tovalitPrimaryWindowConfigured").toBool());
    configurePrimaryWindow(nullptr);

    // The accessor hands over its window once it is shown, a turn later.
    QWidget window;
    QList<QWidget *> resolved;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new TovalitWindowAccessor([&](QWidget *found) { resolved.append(found); }));
    window.show();
    EXPECT_TRUE(resolved.isEmpty()) << "deferred by one turn of the event loop";
    testing::waitUntil([&] { return !resolved.isEmpty(); }, "the window to be resolved");
    EXPECT_EQ(resolved.first(), &window);
}

TEST(TovalitApplicationIcon, IsBundledAndDrawsAtTaskBarSizes) {
    const QIcon icon = tovalitApplicationIcon();
    for (const int side : {16, 48, 256}) {
        const QImage image = icon.pixmap(side).toImage();
        ASSERT_FALSE(image.isNull()) << side;
        EXPECT_GT(image.pixelColor(side / 2, side / 2).alpha(), 0)
            << "the drawing covers its centre";
    }
}

} // namespace
} // namespace tovalit
