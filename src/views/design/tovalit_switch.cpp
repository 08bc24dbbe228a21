#include "views/design/tovalit_switch.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"

#include <QPainter>

#include <cmath>

namespace tovalit {

namespace {
constexpr qreal trackWidth = 32;
constexpr qreal trackHeight = 18;
constexpr qreal titleSpacing = 10;
} // namespace

TovalitSwitch::TovalitSwitch(const QString &title, QWidget *parent)
    : QAbstractButton(parent) {
    setText(title);
    setCheckable(true);
    setFont(tovalitFont(13));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title);
}

QSize TovalitSwitch::sizeHint() const {
    const QFontMetricsF metrics(font());
    const qreal width = metrics.horizontalAdvance(text()) + titleSpacing + trackWidth;
    return {int(std::ceil(width)), int(std::ceil(qMax(metrics.height(), trackHeight) + 4))};
}

QSize TovalitSwitch::minimumSizeHint() const {
    return sizeHint();
}

QRectF TovalitSwitch::trackRect() const {
    return {width() - trackWidth - 1, (height() - trackHeight) / 2, trackWidth, trackHeight};
}

bool TovalitSwitch::hitButton(const QPoint &) const {
    // The title toggles too, as a check box's does.
    return true;
}

void TovalitSwitch::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal opacity = isEnabled() ? 1.0 : 0.45;

    painter.setPen(withOpacity(TovalitPalette::primary(), opacity));
    painter.setFont(font());
    const QRectF titleBox(0, 0, trackRect().left() - titleSpacing, height());
    painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF track = trackRect();
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(
        isChecked() ? TovalitPalette::brandStrong() : TovalitPalette::black(0.16), opacity));
    painter.drawRoundedRect(track, radius, radius);

    const qreal inset = 2;
    const qreal knob = track.height() - 2 * inset;
    const qreal x = isChecked() ? track.right() - inset - knob : track.left() + inset;
    painter.setBrush(TovalitPalette::black(0.12));
    painter.drawEllipse(QRectF(x, track.top() + inset + 0.5, knob, knob));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + inset, knob, knob));

    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(withOpacity(TovalitPalette::brandStrong(), 0.5), 2));
        painter.drawRoundedRect(track.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5, radius + 1.5);
    }
}

} // namespace tovalit
