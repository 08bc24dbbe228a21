#pragma once

#include <QObject>
#include <QPointF>
#include <QSizeF>

#include <functional>

class QWidget;

namespace tovalit {

// A drag on a widget of the floating panel: it begins once the pointer has
// moved `minimumDistance` from where the left button went down, then
// reports the translation since the press on every move and the end on
// release. Translations are measured on the desktop, not in the widget,
// because the widget moves with the panel while it is dragged. Presses
// that never travel far enough report nothing.
class PanelDragGesture : public QObject {
    Q_OBJECT
public:
    PanelDragGesture(QWidget *target, qreal minimumDistance);

    std::function<void(QSizeF translation)> onChanged;
    std::function<void()> onEnded;

    bool isDragging() const { return m_dragging; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    qreal m_minimumDistance;
    bool m_pressed = false;
    bool m_dragging = false;
    QPointF m_start;
};

} // namespace tovalit
