#include "views/design/tovalit_glass_level.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_tokens.h"

#include <QPainter>

namespace tovalit {

TovalitGlassLevel TovalitGlassLevel::toast(bool isError) {
    return {Kind::toast, isError};
}

TovalitGlassLevel TovalitGlassLevel::card() {
    return {Kind::card, false};
}

TovalitGlassLevel TovalitGlassLevel::prominentCard() {
    return {Kind::prominentCard, false};
}

TovalitGlassLevel TovalitGlassLevel::hud() {
    return {Kind::hud, false};
}

TovalitMaterial TovalitGlassLevel::material() const {
    switch (m_kind) {
    case Kind::toast:
    case Kind::prominentCard:
        return TovalitMaterial::thin;
    case Kind::card:
        return TovalitMaterial::ultraThin;
    case Kind::hud:
        return TovalitMaterial::regular;
    }
    Q_UNREACHABLE();
}

QColor TovalitGlassLevel::overlayTint() const {
    switch (m_kind) {
    case Kind::toast:
        return TovalitPalette::white(0.18);
    case Kind::card:
        return TovalitPalette::white(0.14);
    case Kind::prominentCard:
        return TovalitPalette::white(0.22);
    case Kind::hud:
        return TovalitPalette::white(0.08);
    }
    Q_UNREACHABLE();
}

QColor TovalitGlassLevel::strokeColor() const {
    switch (m_kind) {
    case Kind::toast:
        return m_isError ? withOpacity(TovalitPalette::red(), 0.24) : TovalitPalette::white(0.36);
    case Kind::card:
        return TovalitPalette::glassBorderSoft();
    case Kind::prominentCard:
        return TovalitPalette::glassBorder();
    case Kind::hud:
        return TovalitPalette::white(0.48);
    }
    Q_UNREACHABLE();
}

qreal TovalitGlassLevel::cornerRadius() const {
    switch (m_kind) {
    case Kind::toast:
        return TovalitTokens::Radius::toast;
    case Kind::card:
        return TovalitTokens::Radius::card;
    case Kind::prominentCard:
        return TovalitTokens::Radius::largeCard;
    case Kind::hud:
        return TovalitTokens::Radius::hud;
    }
    Q_UNREACHABLE();
}

QColor TovalitGlassLevel::shadowColor() const {
    switch (m_kind) {
    case Kind::toast:
        return TovalitPalette::black(0.08);
    case Kind::card:
        return Qt::transparent;
    case Kind::prominentCard:
        return TovalitPalette::black(0.06);
    case Kind::hud:
        return TovalitPalette::black(0.12);
    }
    Q_UNREACHABLE();
}

qreal TovalitGlassLevel::shadowRadius() const {
    switch (m_kind) {
    case Kind::toast:
        return 12;
    case Kind::card:
        return 0;
    case Kind::prominentCard:
        return 14;
    case Kind::hud:
        return 24;
    }
    Q_UNREACHABLE();
}

qreal TovalitGlassLevel::shadowY() const {
    switch (m_kind) {
    case Kind::toast:
        return 4;
    case Kind::card:
        return 0;
    case Kind::prominentCard:
    case Kind::hud:
        return 8;
    }
    Q_UNREACHABLE();
}

QColor materialColor(TovalitMaterial material) {
    switch (material) {
    case TovalitMaterial::ultraThin:
        return QColor(248, 250, 251, 140);
    case TovalitMaterial::thin:
        return QColor(247, 249, 250, 184);
    case TovalitMaterial::regular:
        return QColor(245, 247, 248, 222);
    }
    Q_UNREACHABLE();
}

QPainterPath glassSurfacePath(const QRectF &rect, const TovalitGlassLevel &level) {
    QPainterPath path;
    const qreal radius = qMin(level.cornerRadius(), qMin(rect.width(), rect.height()) / 2);
    path.addRoundedRect(rect, radius, radius);
    return path;
}

void paintGlassSurface(QPainter &painter, const QRectF &rect, const TovalitGlassLevel &level,
                       GlassBackdrop backdrop, const QRect &exposed) {
    if (rect.isEmpty())
        return;
    QColor material = materialColor(level.material());
    if (backdrop == GlassBackdrop::opaque)
        material.setAlpha(255);
    // Inside the outline, away from the rounded corners and the border,
    // every pixel is covered in full: a repaint there (a line of text that
    // changed on a large panel) needs no outline at all.
    const qreal corner = qMin(level.cornerRadius(), qMin(rect.width(), rect.height()) / 2);
    constexpr qreal edge = 2;
    const QRectF across = rect.adjusted(corner, edge, -corner, -edge);
    const QRectF down = rect.adjusted(edge, corner, -edge, -corner);
    if (exposed.isValid() && (across.contains(exposed) || down.contains(exposed))) {
        painter.fillRect(exposed, material);
        painter.fillRect(exposed, level.overlayTint());
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = glassSurfacePath(rect, level);
    if (backdrop == GlassBackdrop::opaque) {
        // Without translucency a panel window is cut to this outline pixel
        // by pixel (the same pixels as here): each of them is covered in
        // full first, so the soft edge does not show the black behind it.
        painter.save();
        painter.setClipRegion(QRegion(shape.toFillPolygon().toPolygon()), Qt::IntersectClip);
        painter.fillRect(rect, material);
        painter.restore();
    }
    painter.fillPath(shape, material);
    painter.fillPath(shape, level.overlayTint());
    // A 1-pixel border centred half a pixel inside stays crisp and is not
    // cut by the widget's edge.
    const QRectF inner = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(level.strokeColor(), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(glassSurfacePath(inner, level));
    painter.restore();
}

} // namespace tovalit
