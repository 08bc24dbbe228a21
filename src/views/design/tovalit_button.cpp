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
    setFont(TovalitTokens::FontStyle::bodyStrong());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAutoDefault(false);
    applyStyleSheet();
}

void TovalitButton::setTint(std::optional<QColor> tint) {
    m_tint = std::move(tint);
    applyStyleSheet();
}

void TovalitButton::applyStyleSheet() {
    using namespace TovalitPalette;
    QString sheet;
    if (m_style == Style::borderedProminent) {
        const QColor fill = m_tint.value_or(brandStrong());
        sheet = QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                               " border-radius: 6px; padding: 4px 14px; }"
                               "QPushButton:hover { background: %2; }"
                               "QPushButton:pressed { background: %3; }"
                               "QPushButton:disabled { background: %4; color: %5; }")
                    .arg(rgba(fill), rgba(fill.darker(108)), rgba(fill.darker(120)),
                         rgba(withOpacity(fill, 0.35)), rgba(white(0.9)));
    } else {
        const QColor text = m_tint.value_or(primary());
        const QColor fill = m_tint ? withOpacity(*m_tint, 0.10) : white(0.78);
        const QColor border = m_tint ? withOpacity(*m_tint, 0.30) : black(0.12);
        sheet = QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3;"
                               " border-radius: 6px; padding: 3px 12px; }"
                               "QPushButton:hover { background: %4; }"
                               "QPushButton:pressed { background: %5; }"
                               "QPushButton:disabled { background: %6; color: %7;"
                               " border-color: %8; }")
                    .arg(rgba(fill), rgba(text), rgba(border),
                         rgba(m_tint ? withOpacity(*m_tint, 0.16) : white(0.95)),
                         rgba(m_tint ? withOpacity(*m_tint, 0.24) : black(0.08)), rgba(white(0.45)),
                         rgba(black(0.28)), rgba(black(0.07)));
    }
    setStyleSheet(sheet);
}

} // namespace tovalit
