#include "views/hud/meeting_resize_handle_overlay.h"

#include "views/hud/panel_drag_gesture.h"

#include <QEvent>

namespace tovalit {

MeetingResizeHandleView::MeetingResizeHandleView(HUDResizeHandle handle, QWidget *parent)
    : QWidget(parent)
    , m_handle(handle) {
    setObjectName(QStringLiteral("resizeHandle"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(side, side);
    setCursor(MeetingResizeHandleOverlay::resolvedCursor(handle));
    auto *drag = new PanelDragGesture(this, 1);
    drag->onChanged = [this](QSizeF translation) { Q_EMIT resizeChanged(m_handle, translation); };
    drag->onEnded = [this] { Q_EMIT resizeEnded(); };
}

MeetingResizeHandleOverlay::MeetingResizeHandleOverlay(QWidget *host)
    : QObject(host)
    , m_host(host) {
    const std::array<HUDResizeHandle, 4> corners{
        HUDResizeHandle::topLeading, HUDResizeHandle::topTrailing, HUDResizeHandle::bottomLeading,
        HUDResizeHandle::bottomTrailing};
    for (std::size_t index = 0; index < corners.size(); ++index) {
        auto *view = new MeetingResizeHandleView(corners[index], host);
        connect(view, &MeetingResizeHandleView::resizeChanged, this,
                &MeetingResizeHandleOverlay::resizeChanged);
        connect(view, &MeetingResizeHandleView::resizeEnded, this,
                &MeetingResizeHandleOverlay::resizeEnded);
        m_handles[index] = view;
    }
    host->installEventFilter(this);
    place();
}

Qt::CursorShape MeetingResizeHandleOverlay::resolvedCursor(HUDResizeHandle handle) {
    switch (handle) {
    case HUDResizeHandle::top:
    case HUDResizeHandle::bottom:
        return Qt::SizeVerCursor;
    case HUDResizeHandle::leading:
    case HUDResizeHandle::trailing:
        return Qt::SizeHorCursor;
    case HUDResizeHandle::topLeading:
    case HUDResizeHandle::topTrailing:
    case HUDResizeHandle::bottomLeading:
    case HUDResizeHandle::bottomTrailing:
        return Qt::CrossCursor;
    }
    Q_UNREACHABLE();
}

QRect MeetingResizeHandleOverlay::handleRect(HUDResizeHandle handle, QSize size) {
    const int side = MeetingResizeHandleView::side;
    const int right = size.width() - side;
    const int bottom = size.height() - side;
    switch (handle) {
    case HUDResizeHandle::topLeading:
        return {0, 0, side, side};
    case HUDResizeHandle::topTrailing:
        return {right, 0, side, side};
    case HUDResizeHandle::bottomLeading:
        return {0, bottom, side, side};
    case HUDResizeHandle::bottomTrailing:
        return {right, bottom, side, side};
    default:
        return {};
    }
}

bool MeetingResizeHandleOverlay::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_host &&
        (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded))
        place();
    return false;
}

void MeetingResizeHandleOverlay::place() {
    for (MeetingResizeHandleView *view : m_handles) {
        if (!view)
            continue;
        view->setGeometry(handleRect(view->handle(), m_host->size()));
        // Over everything else of the panel, also over children added later.
        view->raise();
    }
}

} // namespace tovalit
