#pragma once

#include <QColor>
#include <QWidget>

namespace tovalit {

// A rounded rectangle or capsule filled and stroked in given colours,
// holding its own layout. The building block of the meeting boards.
class RoundedBox : public QWidget {
    Q_OBJECT
public:
    // A radius below 0 draws a capsule.
    RoundedBox(qreal radius, QColor fill, QColor stroke = Qt::transparent,
               QWidget *parent = nullptr);

    const QColor &fillColor() const { return m_fill; }
    const QColor &strokeColor() const { return m_stroke; }
    void setColors(const QColor &fill, const QColor &stroke);
    // A bar of `color`, `width` wide and as tall as the box, on its leading
    // edge (drawn over the box, not clipped to its corners).
    void setLeadingBar(const QColor &color, qreal width);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_radius;
    QColor m_fill;
    QColor m_stroke;
    QColor m_leadingBar = Qt::transparent;
    qreal m_leadingBarWidth = 0;
};

} // namespace tovalit
