#pragma once

#include "models/hud_resize_handle.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace tovalit {

// The rules that place, move and resize the floating panel. Frames are in
// desktop coordinates, y downwards; translations are a drag's movement
// since it began (y downwards too).
namespace FloatingPanelGeometry {

// Keeps `frame` inside `visibleFrame`: a frame larger than the visible
// frame is cut to it, then the position is clamped (the lower bound first).
QRectF clampedRecordingFrame(const QRectF &frame, const QRectF &visibleFrame);

// `baseline` moved by a drag's translation, clamped.
QRectF draggedRecordingFrame(const QRectF &baseline, QSizeF translation,
                             const QRectF &visibleFrame);

// How much a drag of `handle` by `translation` scales content of `baseSize`.
qreal resizeScale(HUDResizeHandle handle, QSizeF translation, QSizeF baseSize);
// The point of `frame` that stays put while `handle` is dragged.
QPointF anchorPoint(const QRectF &frame, HUDResizeHandle handle);
// The origin that keeps `anchor` in place for a frame of `newSize`.
QPointF resizedOrigin(HUDResizeHandle handle, QPointF anchor, QSizeF newSize);

// The meeting panel after dragging `handle` by `translation` from the
// panel frame `baseline`: scaled with the meeting panel's aspect ratio
// between its minimum and the largest size the visible frame allows,
// anchored opposite the handle, widened and heightened for a toast, and
// clamped into the visible frame.
QRectF scaledRecordingFrame(const QRectF &baseline, HUDResizeHandle handle, QSizeF translation,
                            bool hasToast, const QRectF &visibleFrame);

} // namespace FloatingPanelGeometry

} // namespace tovalit
