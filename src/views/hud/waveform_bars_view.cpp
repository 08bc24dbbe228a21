#include "views/hud/waveform_bars_view.h"

#include "views/design/tovalit_palette.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tovalit {

namespace {
constexpr double restingLevel = 0.18;
// Below this a move of the bars' edges may or may not change a pixel, and
// their coverage decides; at or above it some pixel changes for sure.
constexpr qreal surelyVisibleMove = 1.0 / 16;
} // namespace

WaveformBarsView::WaveformBarsView(qreal minimumHeight, qreal maximumHeight, QWidget *parent,
                                   MonotonicClock clock)
    : QWidget(parent)
    , m_minimumHeight(minimumHeight)
    , m_maximumHeight(maximumHeight)
    , m_clock(std::move(clock))
    , m_frames(new QTimer(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(frameHeight);
    m_frames->setInterval(frameIntervalMilliseconds);
    connect(m_frames, &QTimer::timeout, this, &WaveformBarsView::drawFrame);
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

std::array<qreal, WaveformBarsView::barCount> WaveformBarsView::shownHeights() const {
    if (!m_easing)
        return m_to;
    const double progress = std::clamp((m_clock() - m_easeStartedAt) / easeSeconds, 0.0, 1.0);
    // Quadratic ease-out.
    const double eased = progress * (2 - progress);
    std::array<qreal, barCount> heights;
    for (int index = 0; index < barCount; ++index)
        heights[index] = m_from[index] + (m_to[index] - m_from[index]) * eased;
    return heights;
}

bool WaveformBarsView::isAnimating() const {
    return m_frames->isActive();
}

void WaveformBarsView::setLevels(const QList<double> &levels) {
    const auto shown = displayLevels(levels);
    std::array<qreal, barCount> target;
    for (int index = 0; index < barCount; ++index)
        target[index] = barHeight(shown[index], m_minimumHeight, m_maximumHeight);
    if (target == m_to)
        return;
    if (!isVisible()) {
        m_to = target;
        settle();
        return;
    }
    // From wherever the bars are now; the next frame draws the new ease.
    m_from = shownHeights();
    m_to = target;
    m_easeStartedAt = m_clock();
    m_easing = true;
    if (!m_frames->isActive())
        m_frames->start();
}

void WaveformBarsView::drawFrame() {
    // The frame that shows the bars at their targets is the last one.
    if (!m_easing || m_clock() - m_easeStartedAt >= easeSeconds)
        settle();
    if (looksAsPainted(shownHeights()))
        return;
    // Painted now rather than through the event queue: the frame clock has
    // woken the thread already, and this is the only thing it woke it for.
    repaint(barsRect());
}

bool WaveformBarsView::looksAsPainted(const std::array<qreal, barCount> &heights) const {
    if (!m_painted)
        return false;
    if (heights == *m_painted)
        return true;
    for (int index = 0; index < barCount; ++index) {
        if (std::abs(heights[index] - (*m_painted)[index]) >= surelyVisibleMove)
            return false;
    }
    if (m_paintedCoverage.isNull())
        m_paintedCoverage = coverage(*m_painted);
    return coverage(heights) == m_paintedCoverage;
}

QImage WaveformBarsView::coverage(const std::array<qreal, barCount> &heights) const {
    const QRect strip = barsRect();
    QImage image(strip.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // Whole pixels of translation leave where the edges fall within a
    // pixel as they are on screen; an opaque brush makes each pixel's
    // value its coverage.
    painter.translate(-strip.topLeft());
    painter.setBrush(Qt::white);
    paintBars(painter, heights);
    return image;
}

void WaveformBarsView::settle() {
    m_easing = false;
    m_from = m_to;
    m_frames->stop();
}

void WaveformBarsView::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    settle();
}

QRect WaveformBarsView::barsRect() const {
    const qreal total = barCount * barWidth + (barCount - 1) * barSpacing;
    // A pixel either side for the antialiased edges.
    return QRectF((width() - total) / 2, 0, total, height()).toAlignedRect().adjusted(-1, 0, 1, 0);
}

QSize WaveformBarsView::sizeHint() const {
    return {int(barCount * barWidth + (barCount - 1) * barSpacing), frameHeight};
}

QSize WaveformBarsView::minimumSizeHint() const {
    return sizeHint();
}

void WaveformBarsView::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.setBrush(withOpacity(TovalitPalette::brandStrong(), 0.92));
    const auto heights = shownHeights();
    paintBars(painter, heights);
    // A paint that reached only part of the bars leaves a picture no
    // heights describe.
    const QRegion strip(barsRect());
    if (strip.subtracted(event->region()).isEmpty()) {
        m_painted = heights;
        m_paintedCoverage = QImage();
    } else if (event->region().intersects(strip)) {
        m_painted.reset();
        m_paintedCoverage = QImage();
    }
}

void WaveformBarsView::paintBars(QPainter &painter,
                                 const std::array<qreal, barCount> &heights) const {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
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
