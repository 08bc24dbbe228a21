#pragma once

#include "models/hud_resize_handle.h"

#include <QObject>
#include <QSizeF>
#include <QWidget>

#include <array>

namespace tovalit {

// One corner handle of the meeting panel: transparent, with the resize
// cursor of its corner, reporting drags of at least one pixel.
class MeetingResizeHandleView : public QWidget {
    Q_OBJECT
public:
    static constexpr int side = 22;

    MeetingResizeHandleView(HUDResizeHandle handle, QWidget *parent);

    HUDResizeHandle handle() const { return m_handle; }

Q_SIGNALS:
    void resizeChanged(HUDResizeHandle handle, QSizeF translation);
    void resizeEnded();

private:
    HUDResizeHandle m_handle;
};

// The four corner handles laid over the meeting panel, kept at its corners
// as it changes size. The edges have no handle. Only the handles take the
// pointer; the rest of the panel stays as it is.
class MeetingResizeHandleOverlay : public QObject {
    Q_OBJECT
public:
    explicit MeetingResizeHandleOverlay(QWidget *host);

    // The cursor shown over a handle.
    static Qt::CursorShape resolvedCursor(HUDResizeHandle handle);
    // Where the handle's square sits in a host of `size`.
    static QRect handleRect(HUDResizeHandle handle, QSize size);

    const std::array<MeetingResizeHandleView *, 4> &handles() const { return m_handles; }

Q_SIGNALS:
    void resizeChanged(HUDResizeHandle handle, QSizeF translation);
    void resizeEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QWidget *m_host;
    std::array<MeetingResizeHandleView *, 4> m_handles{};
};

} // namespace tovalit
