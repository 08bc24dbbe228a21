#include "views/design/tovalit_glass_surface.h"

#include <QGraphicsDropShadowEffect>
#include <QPaintEvent>
#include <QPainter>

namespace tovalit {

TovalitGlassSurface::TovalitGlassSurface(TovalitGlassLevel level, QWidget *parent)
    : QWidget(parent)
    , m_level(level) {
    setAttribute(Qt::WA_TranslucentBackground);
    applyShadow();
}

void TovalitGlassSurface::setLevel(const TovalitGlassLevel &level) {
    if (level == m_level)
        return;
    m_level = level;
    applyShadow();
    update();
}

void TovalitGlassSurface::setCastsShadow(bool casts) {
    if (casts == m_castsShadow)
        return;
    m_castsShadow = casts;
    applyShadow();
}

QPainterPath TovalitGlassSurface::surfacePath() const {
    return glassSurfacePath(QRectF(rect()), m_level);
}

GlassBackdrop TovalitGlassSurface::backdropFor(const QWidget *widget) {
    const QWidget *window = widget ? widget->window() : nullptr;
    return window && window->property("tovalitOpaqueGlass").toBool() ? GlassBackdrop::opaque
                                                                     : GlassBackdrop::translucent;
}

void TovalitGlassSurface::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    paintGlassSurface(painter, QRectF(rect()), m_level, backdropFor(this), event->rect());
}

void TovalitGlassSurface::applyShadow() {
    const bool wanted =
        m_castsShadow && m_level.shadowColor().alpha() > 0 && m_level.shadowRadius() > 0;
    if (!wanted) {
        setGraphicsEffect(nullptr);
        return;
    }
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(graphicsEffect());
    if (!shadow) {
        shadow = new QGraphicsDropShadowEffect(this);
        setGraphicsEffect(shadow);
    }
    shadow->setColor(m_level.shadowColor());
    shadow->setBlurRadius(m_level.shadowRadius());
    shadow->setOffset(0, m_level.shadowY());
}

} // namespace tovalit
