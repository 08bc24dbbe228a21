#include "views/design/tovalit_fonts.h"

#include "views/design/tovalit_palette.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QPalette>
#include <QScreen>
#include <QStyleFactory>

namespace tovalit {

QString tovalitFontFamily() {
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const QString &candidate :
             {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
              QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans SC")}) {
            if (installed.contains(candidate))
                return candidate;
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

QFont tovalitFont(qreal pixelSize, QFont::Weight weight) {
    QFont font(tovalitFontFamily());
    // Point sizes go through the logical DPI; asking for the pixel size
    // that way keeps fractional sizes (10.5, 12.5) that setPixelSize drops.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPointSizeF(pixelSize * 72.0 / (dpi > 0 ? dpi : 96.0));
    font.setWeight(weight);
    return font;
}

namespace TovalitTextStyle {
QFont headline() {
    return tovalitFont(13, QFont::Bold);
}
QFont title3() {
    return tovalitFont(15, QFont::Normal);
}
QFont subheadline() {
    return tovalitFont(11, QFont::Normal);
}
QFont footnote() {
    return tovalitFont(10, QFont::Normal);
}
QFont caption() {
    return tovalitFont(10, QFont::Normal);
}
} // namespace TovalitTextStyle

void applyTovalitAppearance(QApplication &application) {
    application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QPalette palette;
    const QColor window(0xF4, 0xF7, 0xF8);
    const QColor base(0xFF, 0xFF, 0xFF);
    const QColor text = TovalitPalette::primary();
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor(0xEE, 0xF2, 0xF4));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0xF7, 0xF9, 0xFA));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, TovalitPalette::secondary());
    palette.setColor(QPalette::Highlight, TovalitPalette::brandStrong());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, TovalitPalette::brandStrong());
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Midlight, QColor(0xE3, 0xE8, 0xEA));
    palette.setColor(QPalette::Mid, QColor(0xC4, 0xCB, 0xCE));
    palette.setColor(QPalette::Dark, QColor(0x9A, 0xA3, 0xA7));
    palette.setColor(QPalette::Shadow, QColor(0, 0, 0, 60));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, TovalitPalette::secondary());
    application.setPalette(palette);

    QFont font = tovalitFont(13);
    application.setFont(font);
    application.setWindowIcon(tovalitApplicationIcon());
}

QIcon tovalitApplicationIcon() {
    return QIcon(QStringLiteral(":/icons/cn.pellastrim.tovalit.svg"));
}

} // namespace tovalit
