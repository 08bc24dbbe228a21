#include "app/floating_panel_geometry.h"

#include "views/hud/hud_layout.h"

#include <algorithm>

namespace tovalit::FloatingPanelGeometry {

QRectF clampedRecordingFrame(const QRectF &frame, const QRectF &visibleFrame) {
    // The size is cut first and the position clamped with the cut size: a
    // frame larger than the screen placed with its own size would end up
    // partly off the screen although it was cut to fit.
    const qreal width = std::min(visibleFrame.width(), frame.width());
    const qreal height = std::min(visibleFrame.height(), frame.height());
    const qreal x =
        std::min(std::max(frame.x(), visibleFrame.left()), visibleFrame.right() - width);
    const qreal y =
        std::min(std::max(frame.y(), visibleFrame.top()), visibleFrame.bottom() - height);
    return {x, y, width, height};
}

QRectF draggedRecordingFrame(const QRectF &baseline, QSizeF translation,
                             const QRectF &visibleFrame) {
    return clampedRecordingFrame(baseline.translated(translation.width(), translation.height()),
                                 visibleFrame);
}

qreal resizeScale(HUDResizeHandle handle, QSizeF translation, QSizeF baseSize) {
    const qreal tx = translation.width();
    const qreal ty = translation.height();
    const qreal a = baseSize.width();
    const qreal b = baseSize.height();
    switch (handle) {
    case HUDResizeHandle::top:
        return 1 - ty / b;
    case HUDResizeHandle::bottom:
        return 1 + ty / b;
    case HUDResizeHandle::leading:
        return 1 - tx / a;
    case HUDResizeHandle::trailing:
        return 1 + tx / a;
    case HUDResizeHandle::topLeading:
        return std::max(1 - ty / b, 1 - tx / a);
    case HUDResizeHandle::topTrailing:
        return std::max(1 - ty / b, 1 + tx / a);
    case HUDResizeHandle::bottomLeading:
        return std::max(1 + ty / b, 1 - tx / a);
    case HUDResizeHandle::bottomTrailing:
        return std::max(1 + ty / b, 1 + tx / a);
    }
    Q_UNREACHABLE();
}

QPointF anchorPoint(const QRectF &frame, HUDResizeHandle handle) {
    const QPointF centre = frame.center();
    switch (handle) {
    case HUDResizeHandle::top:
        return {centre.x(), frame.bottom()};
    case HUDResizeHandle::bottom:
        return {centre.x(), frame.top()};
    case HUDResizeHandle::leading:
        return {frame.right(), centre.y()};
    case HUDResizeHandle::trailing:
        return {frame.left(), centre.y()};
    case HUDResizeHandle::topLeading:
        return frame.bottomRight();
    case HUDResizeHandle::topTrailing:
        return frame.bottomLeft();
    case HUDResizeHandle::bottomLeading:
        return frame.topRight();
    case HUDResizeHandle::bottomTrailing:
        return frame.topLeft();
    }
    Q_UNREACHABLE();
}

QPointF resizedOrigin(HUDResizeHandle handle, QPointF anchor, QSizeF newSize) {
    const qreal w = newSize.width();
    const qreal h = newSize.height();
    switch (handle) {
    case HUDResizeHandle::top:
        return {anchor.x() - w / 2, anchor.y() - h};
    case HUDResizeHandle::bottom:
        return {anchor.x() - w / 2, anchor.y()};
    case HUDResizeHandle::leading:
        return {anchor.x() - w, anchor.y() - h / 2};
    case HUDResizeHandle::trailing:
        return {anchor.x(), anchor.y() - h / 2};
    case HUDResizeHandle::topLeading:
        return {anchor.x() - w, anchor.y() - h};
    case HUDResizeHandle::topTrailing:
        return {anchor.x(), anchor.y() - h};
    case HUDResizeHandle::bottomLeading:
        return {anchor.x() - w, anchor.y()};
    case HUDResizeHandle::bottomTrailing:
        return anchor;
    }
    Q_UNREACHABLE();
}

QRectF scaledRecordingFrame(const QRectF &baseline, HUDResizeHandle handle, QSizeF translation,
                            bool hasToast, const QRectF &visibleFrame) {
    using namespace HUDLayout;
    const QSizeF base = panelContentSize(baseline.size(), hasToast);
    const qreal a = base.width();
    const qreal b = base.height();
    const qreal aspect = expandedMeetingPanelSize.height() / expandedMeetingPanelSize.width();

    const qreal scale = resizeScale(handle, translation, base);
    const qreal minimumScale =
        std::max(expandedMeetingMinimumSize.width() / a, expandedMeetingMinimumSize.height() / b);
    const QSizeF maximum = expandedMeetingMaximumSize(visibleFrame);
    const qreal maximumScale = std::min(maximum.width() / a, maximum.height() / b);
    // When the bounds cross (a tiny screen), the maximum wins.
    const qreal clampedScale = std::min(maximumScale, std::max(scale, minimumScale));

    const qreal width = std::max(expandedMeetingMinimumSize.width(), clampedScale * a);
    const QSizeF newSize = panelSize(QSizeF(width, width * aspect), hasToast);
    const QPointF origin = resizedOrigin(handle, anchorPoint(baseline, handle), newSize);
    return clampedRecordingFrame(QRectF(origin, newSize), visibleFrame);
}

} // namespace tovalit::FloatingPanelGeometry
