#include "views/design/tovalit_button.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_tokens.h"

namespace tovalit {

namespace {

QString rgba(const QColor &color) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

} // namespace

TovalitButton::TovalitButton(const QString &title, Style style, QWidget *parent)
    : QPushButton(title, parent)
    , m_style(style) {
    using namespace TovalitPalette;
    setFont(TovalitTokens::FontStyle::bodyStrong());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAutoDefault(false);
    const QColor fill = brandStrong();
    if (style == Style::borderedProminent)
        setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                                     " border-radius: 6px; padding: 4px 14px; }"
                                     "QPushButton:hover { background: %2; }"
                                     "QPushButton:pressed { background: %3; }"
                                     "QPushButton:disabled { background: %4; color: %5; }")
                          .arg(rgba(fill), rgba(fill.darker(108)), rgba(fill.darker(120)),
                               rgba(withOpacity(fill, 0.35)), rgba(white(0.9))));
    else
        setStyleSheet(
            QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3;"
                           " border-radius: 6px; padding: 3px 12px; }"
                           "QPushButton:hover { background: %4; }"
                           "QPushButton:pressed { background: %5; }"
                           "QPushButton:disabled { background: %6; color: %7; }")
                .arg(rgba(white(0.78)), rgba(primary()), rgba(black(0.12)), rgba(white(0.95)),
                     rgba(black(0.08)), rgba(white(0.45)), rgba(black(0.28))));
}

} // namespace tovalit
