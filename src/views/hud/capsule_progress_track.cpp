#include "views/hud/capsule_progress_track.h"

#include "views/design/tovalit_palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <algorithm>

namespace tovalit {

CapsuleProgressTrack::CapsuleProgressTrack(QWidget *parent)
    : QWidget(parent)
    , m_sweep(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedHeight(4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_sweep->setDuration(1050);
    m_sweep->setLoopCount(-1);
    m_sweep->setEasingCurve(QEasingCurve::Linear);
    connect(m_sweep, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_indicatorOffset = value.toReal();
        update();
    });
}

qreal CapsuleProgressTrack::indicatorWidth(qreal trackWidth) {
    return std::max(trackWidth * 0.28, 48.0);
}

bool CapsuleProgressTrack::isSweeping() const {
    return m_sweep->state() == QAbstractAnimation::Running;
}

void CapsuleProgressTrack::restartSweep() {
    const qreal trackWidth = width();
    const qreal indicator = indicatorWidth(trackWidth);
    m_sweep->stop();
    m_sweep->setStartValue(-indicator);
    m_sweep->setEndValue(trackWidth);
    m_indicatorOffset = -indicator;
    if (isVisible())
        m_sweep->start();
}

void CapsuleProgressTrack::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    restartSweep();
}

void CapsuleProgressTrack::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    m_sweep->stop();
}

void CapsuleProgressTrack::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    restartSweep();
}

void CapsuleProgressTrack::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track(rect());
    const qreal radius = track.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(track, radius, radius);
    painter.setClipPath(capsule);
    painter.fillPath(capsule, TovalitPalette::white(0.22));

    const qreal indicator = indicatorWidth(track.width());
    const QRectF bar(m_indicatorOffset, 0, indicator, track.height());
    QLinearGradient sweep(bar.topLeft(), bar.topRight());
    sweep.setColorAt(0.0, TovalitPalette::white(0.1));
    sweep.setColorAt(0.5, withOpacity(TovalitPalette::brandStrong(), 0.85));
    sweep.setColorAt(1.0, TovalitPalette::white(0.12));
    QPainterPath indicatorShape;
    indicatorShape.addRoundedRect(bar, radius, radius);
    painter.fillPath(indicatorShape, sweep);
}

} // namespace tovalit
