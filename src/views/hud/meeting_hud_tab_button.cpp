#include "views/hud/meeting_hud_tab_button.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"

#include <QPainter>

#include <cmath>

namespace tovalit {

MeetingHUDTabButton::MeetingHUDTabButton(const QString &title, QWidget *parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("MeetingHUDTabButton"));
    setText(title);
    setFont(tovalitFont(12, QFont::DemiBold));
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void MeetingHUDTabButton::setSelected(bool selected) {
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

QSize MeetingHUDTabButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    return {int(std::ceil(metrics.horizontalAdvance(text()) + 24)),
            int(std::ceil(metrics.height() + 12))};
}

QSize MeetingHUDTabButton::minimumSizeHint() const {
    return sizeHint();
}

void MeetingHUDTabButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    if (m_selected) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(TovalitPalette::brandStrong(), 0.9));
        painter.drawRoundedRect(box, box.height() / 2, box.height() / 2);
    }
    painter.setPen(m_selected ? QColor(Qt::white) : withOpacity(TovalitPalette::primary(), 0.72));
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, text());
}

} // namespace tovalit
