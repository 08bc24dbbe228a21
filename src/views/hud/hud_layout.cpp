#include "views/hud/hud_layout.h"

#include <algorithm>

namespace tovalit::HUDLayout {

namespace {

// Horizontally centred, `inset` above the bottom of the visible frame.
QPointF bottomCenteredOrigin(const QRectF &visibleFrame, QSizeF panelSize, qreal inset) {
    return {visibleFrame.center().x() - panelSize.width() / 2,
            visibleFrame.bottom() - inset - panelSize.height()};
}

} // namespace

QSizeF panelSize(QSizeF size, bool hasToast) {
    if (!hasToast)
        return size;
    return {std::max(size.width(), toastPanelWidth),
            size.height() + toastSpacing + toastPanelHeight};
}

QSizeF panelContentSize(QSizeF panelSize, bool hasToast) {
    if (!hasToast)
        return panelSize;
    return {panelSize.width(), std::max(panelSize.height() - toastSpacing - toastPanelHeight,
                                        expandedMeetingMinimumSize.height())};
}

QPointF recordingPanelOrigin(const QRectF &visibleFrame, QSizeF panelSize) {
    return bottomCenteredOrigin(visibleFrame, panelSize, bottomInset);
}

QPointF thinkingPanelOrigin(const QRectF &visibleFrame, QSizeF panelSize) {
    return bottomCenteredOrigin(visibleFrame, panelSize, bottomInset);
}

QSizeF expandedMeetingMaximumSize(const QRectF &visibleFrame) {
    return {std::min(visibleFrame.width() - 32, 860.0),
            std::min(visibleFrame.height() - 32, 700.0)};
}

} // namespace tovalit::HUDLayout
