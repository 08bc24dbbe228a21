#include "views/hud/painted_view.h"

#include <QPainter>

#include <cmath>

namespace tovalit {

PaintedView::PaintedView(qreal width, qreal height, Painter painter, QWidget *parent)
    : QWidget(parent)
    , m_size(width < 0 ? 0 : int(std::ceil(width)), int(std::ceil(height)))
    , m_painter(std::move(painter)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (width < 0) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFixedHeight(m_size.height());
    } else {
        setFixedSize(m_size);
    }
}

QSize PaintedView::sizeHint() const {
    return m_size;
}

QSize PaintedView::minimumSizeHint() const {
    return m_size;
}

void PaintedView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_painter)
        m_painter(painter, QRectF(rect()));
}

} // namespace tovalit
