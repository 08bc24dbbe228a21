#include "views/design/tovalit_menu_button.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"

#include <QMenu>
#include <QPainter>

namespace tovalit {

namespace {
constexpr int frameSide = 28;
// The symbol as a glyph of 16 points draws.
constexpr qreal symbolPointSize = 16;
} // namespace

TovalitMenuButton::TovalitMenuButton(QWidget *parent)
    : QToolButton(parent)
    , m_menu(new QMenu(this)) {
    setMenu(m_menu);
    setPopupMode(QToolButton::InstantPopup);
    setFixedSize(frameSide, frameSide);
    setCursor(Qt::PointingHandCursor);
    setAutoRaise(true);
    setAccessibleName(QStringLiteral("更多操作"));
    setToolTip(QStringLiteral("更多操作"));
}

QSize TovalitMenuButton::sizeHint() const {
    return {frameSide, frameSide};
}

void TovalitMenuButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (underMouse() || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(TovalitPalette::black(isDown() ? 0.10 : 0.05));
        painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
    const qreal side = TovalitSymbol::side(symbolPointSize);
    const QRectF box(QPointF(0, 0), QSizeF(side, side));
    const QColor color = isEnabled() ? TovalitPalette::secondary() : TovalitPalette::black(0.25);
    TovalitSymbol::paint(painter, box.translated(QRectF(rect()).center() - box.center()),
                         QStringLiteral("ellipsis.circle"), color);
}

} // namespace tovalit
