#include "views/design/tovalit_window_background.h"

#include "views/design/tovalit_palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace tovalit {

TovalitVisualEffectBackground::TovalitVisualEffectBackground(TovalitVisualEffectMaterial material,
                                                             QWidget *parent)
    : QWidget(parent)
    , m_material(material) {}

void TovalitVisualEffectBackground::setMaterial(TovalitVisualEffectMaterial material) {
    m_material = material;
    update();
}

void TovalitVisualEffectBackground::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    switch (m_material) {
    case TovalitVisualEffectMaterial::underWindowBackground:
        painter.fillRect(rect(), QColor(0xEE, 0xF1, 0xF3));
        break;
    }
}

TovalitWindowBackground::TovalitWindowBackground(QWidget *parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const std::array<TovalitWindowBackground::Glow, 3> &TovalitWindowBackground::glows() {
    static const std::array<Glow, 3> list{
        Glow{withOpacity(TovalitPalette::windowGlow(), 0.4), 420, 78, {-220, -180}},
        Glow{withOpacity(TovalitPalette::windowGlowSecondary(), 0.38), 360, 82, {280, -220}},
        Glow{withOpacity(TovalitPalette::brand(), 0.08), 320, 92, {220, 240}},
    };
    return list;
}

void TovalitWindowBackground::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    painter.fillRect(box, QColor(0xEE, 0xF1, 0xF3));

    QLinearGradient wash(box.topLeft(), box.bottomRight());
    wash.setColorAt(0.0, TovalitPalette::white(0.82));
    wash.setColorAt(0.5, QColor::fromRgbF(0.97f, 0.985f, 1.0f));
    wash.setColorAt(1.0, QColor::fromRgbF(0.96f, 0.99f, 0.985f));
    painter.fillRect(box, wash);

    // A blurred disc: full colour well inside the circle, fading out over
    // the blur radius on both sides of its edge.
    for (const Glow &glow : glows()) {
        const QPointF centre = box.center() + glow.offset;
        const qreal radius = glow.diameter / 2;
        const qreal outer = radius + glow.blurRadius;
        QRadialGradient disc(centre, outer);
        const qreal inner = qMax<qreal>(0, radius - glow.blurRadius) / outer;
        QColor clear = glow.color;
        clear.setAlpha(0);
        disc.setColorAt(0, glow.color);
        disc.setColorAt(inner, glow.color);
        disc.setColorAt(1, clear);
        painter.setPen(Qt::NoPen);
        painter.setBrush(disc);
        painter.drawEllipse(centre, outer, outer);
    }
}

} // namespace tovalit
