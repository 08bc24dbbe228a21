#include "views/design/tovalit_switch.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_tokens.h"

#include <QPainter>

#include <cmath>

namespace tovalit {

namespace {
constexpr qreal trackWidth = 32;
constexpr qreal trackHeight = 18;
constexpr qreal titleGap = 8;
} // namespace

TovalitSwitch::TovalitSwitch(const QString &title, QWidget *parent)
    : QAbstractButton(parent) {
    setText(title);
    setCheckable(true);
    setFont(TovalitTokens::FontStyle::body());
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
}

QSize TovalitSwitch::sizeHint() const {
    const QFontMetricsF metrics(font());
    return {int(std::ceil(metrics.horizontalAdvance(text()) + titleGap + trackWidth)) + 2,
            int(std::ceil(qMax(metrics.height(), trackHeight))) + 2};
}

void TovalitSwitch::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    painter.setPen(isEnabled() ? TovalitPalette::primary() : TovalitPalette::secondary());
    painter.setFont(font());
    const QRectF titleBox(box.left(), box.top(), box.width() - trackWidth - titleGap, box.height());
    painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, text());

    const QRectF track(box.right() - trackWidth - 1, box.center().y() - trackHeight / 2, trackWidth,
                       trackHeight);
    painter.setPen(Qt::NoPen);
    QColor fill = isChecked() ? TovalitPalette::brandStrong() : TovalitPalette::black(0.14);
    if (!isEnabled())
        fill = withOpacity(fill, 0.5);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, trackHeight / 2, trackHeight / 2);
    const qreal knob = trackHeight - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(TovalitPalette::black(0.12));
    painter.drawEllipse(QRectF(x, track.top() + 2.5, knob, knob));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(withOpacity(TovalitPalette::brand(), 0.6), 2));
        painter.drawRoundedRect(track.adjusted(-1.5, -1.5, 1.5, 1.5), trackHeight / 2 + 1.5,
                                trackHeight / 2 + 1.5);
    }
}

} // namespace tovalit
