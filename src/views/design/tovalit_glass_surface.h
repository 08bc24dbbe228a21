#pragma once

#include "views/design/tovalit_glass_level.h"

#include <QWidget>

namespace tovalit {

// A widget drawn on the glass of one level: its own layout (and padding)
// decides the size, the glass fills it. Cards in a window cast their level's
// shadow into the space around them; surfaces that fill a window exactly
// (the floating panel's) have nowhere to cast it and turn it off.
class TovalitGlassSurface : public QWidget {
    Q_OBJECT
public:
    explicit TovalitGlassSurface(TovalitGlassLevel level, QWidget *parent = nullptr);

    const TovalitGlassLevel &level() const { return m_level; }
    void setLevel(const TovalitGlassLevel &level);

    void setCastsShadow(bool casts);
    bool castsShadow() const { return m_castsShadow; }

    // The drawn outline in this widget's coordinates; what is outside it
    // is transparent.
    QPainterPath surfacePath() const;

    // How glass inside `widget` is painted: opaque when its window cannot
    // be see-through (the window carries the property "tovalitOpaqueGlass").
    static GlassBackdrop backdropFor(const QWidget *widget);
    // Gives `widget` the shadow of `level`, or takes it away: for a widget
    // that holds a surface and lets more of its shadow show than the
    // surface's own bounds would.
    static void castShadow(QWidget *widget, const TovalitGlassLevel &level, bool casts);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void applyShadow();

    TovalitGlassLevel m_level;
    bool m_castsShadow = true;
};

} // namespace tovalit
