#include "views/design/tovalit_badge.h"

#include "views/design/tovalit_tokens.h"

#include <QPainter>

#include <cmath>

namespace tovalit {

namespace {
constexpr qreal horizontalPadding = 8;
constexpr qreal verticalPadding = 4;
} // namespace

TovalitBadge::TovalitBadge(QString title, TovalitBadgeTone tone, QWidget *parent)
    : QWidget(parent)
    , m_title(std::move(title))
    , m_tone(tone) {
    setFont(TovalitTokens::FontStyle::badge());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(m_title);
}

void TovalitBadge::setTitle(const QString &title) {
    if (title == m_title)
        return;
    m_title = title;
    setAccessibleName(title);
    updateGeometry();
    update();
}

void TovalitBadge::setTone(TovalitBadgeTone tone) {
    m_tone = tone;
    update();
}

QSize TovalitBadge::sizeHint() const {
    const QFontMetricsF metrics(font());
    return {int(std::ceil(metrics.horizontalAdvance(m_title) + 2 * horizontalPadding)),
            int(std::ceil(metrics.height() + 2 * verticalPadding))};
}

QSize TovalitBadge::minimumSizeHint() const {
    return sizeHint();
}

void TovalitBadge::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    painter.setPen(Qt::NoPen);
    painter.setBrush(backgroundColor(m_tone));
    const qreal radius = qMin(TovalitTokens::Radius::pill, box.height() / 2);
    painter.drawRoundedRect(box, radius, radius);
    painter.setPen(foregroundColor(m_tone));
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, m_title);
}

} // namespace tovalit
