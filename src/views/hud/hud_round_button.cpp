#include "views/hud/hud_round_button.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"

#include <QPainter>

namespace tovalit {

HUDRoundButton::HUDRoundButton(QString systemImage, const QString &title, int diameter,
                               QWidget *parent)
    : QAbstractButton(parent)
    , m_systemImage(std::move(systemImage))
    , m_diameter(diameter) {
    setFixedSize(diameter, diameter);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(title);
}

QSize HUDRoundButton::sizeHint() const {
    return {m_diameter, m_diameter};
}

void HUDRoundButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF box(rect());
    painter.setPen(Qt::NoPen);
    // A plain button: held down it looks as it does at rest.
    painter.setBrush(TovalitPalette::glassButtonFill());
    painter.drawEllipse(box);
    const qreal side = TovalitSymbol::side(11);
    const QRectF symbolBox(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    TovalitSymbol::paint(painter, symbolBox, m_systemImage,
                         withOpacity(TovalitPalette::primary(), 0.86));
}

} // namespace tovalit
