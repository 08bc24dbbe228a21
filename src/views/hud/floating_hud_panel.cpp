#include "views/hud/floating_hud_panel.h"

#include "platform/desktop_compositing.h"
#include "views/hud/floating_hud_container_view.h"
#include "views/hud/hud_layout.h"

#include <QVariantAnimation>

#include <cmath>

namespace tovalit {

namespace {

QRect pixelRect(const QRectF &frame) {
    return {int(std::lround(frame.x())), int(std::lround(frame.y())),
            int(std::lround(frame.width())), int(std::lround(frame.height()))};
}

} // namespace

FloatingHUDPanel::FloatingHUDPanel(FloatingHUDModel *model)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint |
                           Qt::NoDropShadowWindowHint)
    , m_container(new FloatingHUDContainerView(model, this))
    , m_glide(new QVariantAnimation(this))
    , m_frame(QPointF(0, 0), HUDLayout::recordingPanelSize) {
    setObjectName(QStringLiteral("FloatingHUDPanel"));
    setWindowTitle(QStringLiteral("Tovalit HUD"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(pixelRect(m_frame));

    m_glide->setDuration(180);
    m_glide->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_glide, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { applyGeometry(pixelRect(value.toRectF())); });
    connect(m_container, &FloatingHUDContainerView::surfacesChanged, this,
            &FloatingHUDPanel::refreshShape);
}

void FloatingHUDPanel::setFrame(const QRectF &frame, bool animate) {
    m_frame = frame;
    m_glide->stop();
    if (animate && isVisible() && QRectF(geometry()) != frame) {
        m_glide->setStartValue(QRectF(geometry()));
        m_glide->setEndValue(frame);
        m_glide->start();
    } else {
        applyGeometry(pixelRect(frame));
    }
    Q_EMIT placed(frame, animate);
}

void FloatingHUDPanel::orderFrontRegardless() {
    m_orderedIn = true;
    refreshGlass();
    refreshShape();
    if (isVisible())
        raise();
    Q_EMIT placed(m_frame, false);
}

void FloatingHUDPanel::orderOut() {
    m_orderedIn = false;
    m_glide->stop();
    hide();
}

void FloatingHUDPanel::applyGeometry(const QRect &geometry) {
    setGeometry(geometry);
    m_container->setGeometry(QRect(QPoint(0, 0), geometry.size()));
    refreshShape();
}

void FloatingHUDPanel::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    m_container->setGeometry(rect());
}

void FloatingHUDPanel::refreshShape() {
    // Showing the window lays it out again, which reports changed surfaces
    // from inside this call: those are taken in a further pass.
    if (m_refreshingShape) {
        m_shapeOutdated = true;
        return;
    }
    m_refreshingShape = true;
    int passes = 0;
    do {
        m_shapeOutdated = false;
        const QRegion region = m_container->surfaceRegion();
        if (!region.isEmpty() && region != mask())
            setMask(region);
        const bool shows = m_orderedIn && !region.isEmpty();
        if (shows && !isVisible()) {
            show();
            raise();
        } else if (!shows && isVisible()) {
            hide();
        }
    } while (m_shapeOutdated && ++passes < 3);
    m_refreshingShape = false;
}

void FloatingHUDPanel::refreshGlass() {
    const bool opaque = !desktopCompositesWindows();
    if (property("tovalitOpaqueGlass").toBool() != opaque) {
        setProperty("tovalitOpaqueGlass", opaque);
        m_container->refreshShadows();
        update();
    }
}

} // namespace tovalit
