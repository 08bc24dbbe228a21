#include "views/hud/waveform_bars_view.h"

#include "views/design/tovalit_palette.h"

#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>

namespace tovalit {

namespace {
constexpr double restingLevel = 0.18;
} // namespace

WaveformBarsView::WaveformBarsView(qreal minimumHeight, qreal maximumHeight, QWidget *parent)
    : QWidget(parent)
    , m_minimumHeight(minimumHeight)
    , m_maximumHeight(maximumHeight)
    , m_animation(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(frameHeight);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setDuration(120);
    m_animation->setEasingCurve(QEasingCurve::OutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this] { update(); });
    const auto resting = displayLevels({});
    for (int index = 0; index < barCount; ++index)
        m_from[index] = m_to[index] = barHeight(resting[index], minimumHeight, maximumHeight);
}

std::array<double, WaveformBarsView::barCount>
WaveformBarsView::displayLevels(const QList<double> &levels) {
    std::array<double, barCount> result;
    if (levels.isEmpty()) {
        result.fill(restingLevel);
        return result;
    }
    const qsizetype count = levels.size();
    if (count < barCount) {
        const qsizetype padding = barCount - count;
        for (qsizetype index = 0; index < padding; ++index)
            result[index] = levels.last();
        for (qsizetype index = 0; index < count; ++index)
            result[padding + index] = levels[index];
        return result;
    }
    for (int index = 0; index < barCount; ++index)
        result[index] = levels[index];
    return result;
}

qreal WaveformBarsView::barHeight(double level, qreal minimumHeight, qreal maximumHeight) {
    // A NaN level counts as silence.
    const double clamped = level > 0 ? std::min(level, 1.0) : 0.0;
    return minimumHeight + (maximumHeight - minimumHeight) * clamped;
}

std::array<qreal, WaveformBarsView::barCount> WaveformBarsView::currentHeights() const {
    if (m_animation->state() != QAbstractAnimation::Running)
        return m_to;
    const qreal progress = m_animation->currentValue().toReal();
    std::array<qreal, barCount> heights;
    for (int index = 0; index < barCount; ++index)
        heights[index] = m_from[index] + (m_to[index] - m_from[index]) * progress;
    return heights;
}

void WaveformBarsView::setLevels(const QList<double> &levels) {
    const auto shown = displayLevels(levels);
    std::array<qreal, barCount> target;
    for (int index = 0; index < barCount; ++index)
        target[index] = barHeight(shown[index], m_minimumHeight, m_maximumHeight);
    if (target == m_to)
        return;
    m_from = currentHeights();
    m_to = target;
    m_animation->stop();
    if (isVisible())
        m_animation->start();
    update();
}

QSize WaveformBarsView::sizeHint() const {
    return {int(barCount * barWidth + (barCount - 1) * barSpacing), frameHeight};
}

QSize WaveformBarsView::minimumSizeHint() const {
    return sizeHint();
}

void WaveformBarsView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(TovalitPalette::brandStrong(), 0.92));
    const auto heights = currentHeights();
    const qreal total = barCount * barWidth + (barCount - 1) * barSpacing;
    qreal x = (width() - total) / 2;
    const qreal middle = height() / 2.0;
    for (qreal barHeightNow : heights) {
        const QRectF bar(x, middle - barHeightNow / 2, barWidth, barHeightNow);
        painter.drawRoundedRect(bar, barWidth / 2, barWidth / 2);
        x += barWidth + barSpacing;
    }
}

} // namespace tovalit
