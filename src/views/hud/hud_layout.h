#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace tovalit {

// The sizes, spacing and inset of every kind of floating panel, in
// device-independent pixels. Origins are top-left corners in the desktop's
// coordinates (y downwards).
namespace HUDLayout {

inline constexpr QSizeF recordingPanelSize{200, 48};
inline constexpr QSizeF expandedMeetingPanelSize{524, 420};
inline constexpr QSizeF expandedMeetingMinimumSize{450, 352};
inline constexpr QSizeF thinkingPanelSize{200, 56};
inline constexpr qreal toastPanelWidth = 420;
inline constexpr qreal toastPanelHeight = 80;
inline constexpr QSizeF toastOnlyPanelSize{toastPanelWidth, toastPanelHeight};
inline constexpr qreal toastSpacing = 8;
inline constexpr qreal bottomInset = 48;

// The panel around content of `size`: a toast widens it to the toast's
// width and adds the toast band above.
QSizeF panelSize(QSizeF size, bool hasToast);
// The content inside a panel of `panelSize`: the inverse of panelSize(),
// keeping the meeting panel's minimum height.
QSizeF panelContentSize(QSizeF panelSize, bool hasToast);

QPointF recordingPanelOrigin(const QRectF &visibleFrame, QSizeF panelSize);
QPointF thinkingPanelOrigin(const QRectF &visibleFrame, QSizeF panelSize);

// The largest meeting panel that fits the visible frame with a margin.
QSizeF expandedMeetingMaximumSize(const QRectF &visibleFrame);

} // namespace HUDLayout

} // namespace tovalit
