#include "views/hud/panel_drag_gesture.h"

#include <QMouseEvent>
#include <QWidget>

#include <cmath>

namespace tovalit {

PanelDragGesture::PanelDragGesture(QWidget *target, qreal minimumDistance)
    : QObject(target)
    , m_minimumDistance(minimumDistance) {
    target->installEventFilter(this);
}

bool PanelDragGesture::eventFilter(QObject *, QEvent *event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() != Qt::LeftButton)
            return false;
        m_pressed = true;
        m_dragging = false;
        m_start = press->globalPosition();
        return true;
    }
    case QEvent::MouseMove: {
        auto *move = static_cast<QMouseEvent *>(event);
        if (!m_pressed)
            return false;
        const QPointF delta = move->globalPosition() - m_start;
        if (!m_dragging && std::hypot(delta.x(), delta.y()) < m_minimumDistance)
            return true;
        m_dragging = true;
        if (auto changed = onChanged)
            changed(QSizeF(delta.x(), delta.y()));
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *release = static_cast<QMouseEvent *>(event);
        if (release->button() != Qt::LeftButton || !m_pressed)
            return false;
        const bool wasDragging = m_dragging;
        m_pressed = false;
        m_dragging = false;
        if (wasDragging) {
            if (auto ended = onEnded)
                ended();
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace tovalit
