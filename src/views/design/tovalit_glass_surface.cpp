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
    castShadow(this, m_level, m_castsShadow);
}

void TovalitGlassSurface::castShadow(QWidget *widget, const TovalitGlassLevel &level, bool casts) {
    const bool wanted = casts && level.shadowColor().alpha() > 0 && level.shadowRadius() > 0;
    if (!wanted) {
        if (widget->graphicsEffect())
            widget->setGraphicsEffect(nullptr);
        return;
    }
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(widget->graphicsEffect());
    if (!shadow) {
        shadow = new QGraphicsDropShadowEffect(widget);
        widget->setGraphicsEffect(shadow);
    }
    shadow->setColor(level.shadowColor());
    shadow->setBlurRadius(level.shadowRadius());
    shadow->setOffset(0, level.shadowY());
}

} // namespace tovalit
