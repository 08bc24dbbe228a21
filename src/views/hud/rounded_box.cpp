#include "views/hud/rounded_box.h"

#include <QPainter>

namespace tovalit {

RoundedBox::RoundedBox(qreal radius, QColor fill, QColor stroke, QWidget *parent)
    : QWidget(parent)
    , m_radius(radius)
    , m_fill(std::move(fill))
    , m_stroke(std::move(stroke)) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void RoundedBox::setColors(const QColor &fill, const QColor &stroke) {
    if (fill == m_fill && stroke == m_stroke)
        return;
    m_fill = fill;
    m_stroke = stroke;
    update();
}

void RoundedBox::setLeadingBar(const QColor &color, qreal width) {
    m_leadingBar = color;
    m_leadingBarWidth = width;
    update();
}

void RoundedBox::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    const qreal radius = m_radius < 0 ? box.height() / 2 : qMin(m_radius, box.height() / 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_fill);
    painter.drawRoundedRect(box, radius, radius);
    if (m_stroke.alpha() > 0) {
        painter.setPen(QPen(m_stroke, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
    if (m_leadingBarWidth > 0)
        painter.fillRect(QRectF(0, 0, m_leadingBarWidth, box.height()), m_leadingBar);
}

} // namespace tovalit
