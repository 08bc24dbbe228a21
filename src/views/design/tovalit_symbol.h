#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

namespace tovalit {

// The symbols of the interface, kept under their symbol names
// ("checkmark.circle.fill") and drawn from bundled single-colour SVGs,
// tinted at draw time.
namespace TovalitSymbol {

// Whether a drawing exists for `name`.
bool exists(const QString &name);
// The side of the square a symbol takes beside text of `pixelSize`.
qreal side(qreal pixelSize);
// The symbol tinted `color`, `side` device-independent pixels square.
QPixmap pixmap(const QString &name, qreal side, const QColor &color, qreal devicePixelRatio);
// Draws the symbol centred in `box` (square, the smaller side of `box`).
void paint(QPainter &painter, const QRectF &box, const QString &name, const QColor &color);

} // namespace TovalitSymbol

// A symbol as a widget, sized for text of `pixelSize`.
class TovalitSymbolView : public QWidget {
    Q_OBJECT
public:
    TovalitSymbolView(QString name, qreal pixelSize, QColor color, QWidget *parent = nullptr);

    const QString &symbolName() const { return m_name; }
    const QColor &color() const { return m_color; }
    void setSymbol(const QString &name, const QColor &color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_name;
    qreal m_pixelSize;
    QColor m_color;
};

} // namespace tovalit
