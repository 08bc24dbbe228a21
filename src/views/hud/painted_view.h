#pragma once

#include <QWidget>

#include <functional>

class QPainter;

namespace tovalit {

// A small drawn shape of the meeting panel (a marker, a rail, a dashed
// connector) with a fixed height and a fixed or flexible width.
class PaintedView : public QWidget {
    Q_OBJECT
public:
    using Painter = std::function<void(QPainter &painter, const QRectF &bounds)>;

    // A width below 0 makes the shape take whatever width it is given.
    PaintedView(qreal width, qreal height, Painter painter, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSize m_size;
    Painter m_painter;
};

} // namespace tovalit
