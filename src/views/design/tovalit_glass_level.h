#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace tovalit {

// The frosted material behind a glass surface, from the most see-through.
enum class TovalitMaterial { ultraThin, thin, regular };

// How much a surface floats: every card, toast and panel wears one level.
class TovalitGlassLevel {
public:
    enum class Kind { toast, card, prominentCard, hud };

    static TovalitGlassLevel toast(bool isError);
    static TovalitGlassLevel card();
    static TovalitGlassLevel prominentCard();
    static TovalitGlassLevel hud();

    Kind kind() const { return m_kind; }
    bool isError() const { return m_isError; }

    TovalitMaterial material() const;
    QColor overlayTint() const;
    QColor strokeColor() const;
    qreal cornerRadius() const;
    QColor shadowColor() const;
    qreal shadowRadius() const;
    qreal shadowY() const;

    bool operator==(const TovalitGlassLevel &) const = default;

private:
    TovalitGlassLevel(Kind kind, bool isError)
        : m_kind(kind)
        , m_isError(isError) {}

    Kind m_kind;
    bool m_isError;
};

// What the material shows through. Without a compositing desktop a window
// cannot be see-through, so its glass is painted over an opaque light
// ground instead of leaving dark pixels behind it.
enum class GlassBackdrop { translucent, opaque };

// The light colour that stands in for a material (no blur is available).
QColor materialColor(TovalitMaterial material);

// The outline of a surface of `level` filling `rect`.
QPainterPath glassSurfacePath(const QRectF &rect, const TovalitGlassLevel &level);

// Material, tint and hairline border of `level` filling `rect`. The border
// is kept inside `rect`. The shadow is the widget's business. `exposed`,
// when given, is the part being repainted: one clear of the corners and the
// border is plain colour.
void paintGlassSurface(QPainter &painter, const QRectF &rect, const TovalitGlassLevel &level,
                       GlassBackdrop backdrop = GlassBackdrop::translucent,
                       const QRect &exposed = QRect());

} // namespace tovalit
