#pragma once

#include "support/clock.h"

#include <QImage>
#include <QList>
#include <QWidget>

#include <array>
#include <optional>

class QPainter;
class QTimer;

namespace tovalit {

// The five-bar level meter of the recording panels. Bars follow new levels
// with a short ease-out.
//
// Levels come with every captured buffer, some fifty a second, and each
// one used to restart the ease: the meter then drew a frame at every tick
// of the animation clock and at every level, and each frame of a
// translucent panel costs a round trip to the display server. The ease now
// runs on the meter's own frame clock at a bounded pace, a new level only
// retargets it, and the clock stops once the bars are where they were
// sent.
//
// A frame costs the same however little the bars moved, and in a pause the
// levels creep toward silence by amounts no pixel shows: a frame that would
// cover the pixels as the last one painted did is not drawn.
class WaveformBarsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int barCount = 5;
    static constexpr qreal barWidth = 3;
    static constexpr qreal barSpacing = 3;
    static constexpr int frameHeight = 22;
    static constexpr double easeSeconds = 0.12;
    // About 30 frames a second: four or so per ease.
    static constexpr int frameIntervalMilliseconds = 33;

    WaveformBarsView(qreal minimumHeight, qreal maximumHeight, QWidget *parent = nullptr,
                     MonotonicClock clock = systemMonotonicClock());

    void setLevels(const QList<double> &levels);

    // Always five levels: a resting meter without input, the last level
    // repeated in front of fewer than five, the first five of more.
    static std::array<double, barCount> displayLevels(const QList<double> &levels);
    // The height of a bar at `level`, clamped to 0...1.
    static qreal barHeight(double level, qreal minimumHeight, qreal maximumHeight);

    // The heights the bars are heading for.
    std::array<qreal, barCount> targetHeights() const { return m_to; }
    // The heights drawn now, part way along the ease.
    std::array<qreal, barCount> shownHeights() const;
    // Whether frames are still being drawn: only while the bars move.
    bool isAnimating() const;
    // The bars at `heights` as they cover the pixels of the strip they are
    // drawn in: frames that cover them alike draw the same picture.
    QImage coverage(const std::array<qreal, barCount> &heights) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void drawFrame();
    void settle();
    // Whether bars at `heights` would look as the last painted ones do.
    bool looksAsPainted(const std::array<qreal, barCount> &heights) const;
    void paintBars(QPainter &painter, const std::array<qreal, barCount> &heights) const;
    // What the bars can cover: the rest of the meter never changes.
    QRect barsRect() const;

    qreal m_minimumHeight;
    qreal m_maximumHeight;
    MonotonicClock m_clock;
    std::array<qreal, barCount> m_from{};
    std::array<qreal, barCount> m_to{};
    double m_easeStartedAt = 0;
    bool m_easing = false;
    // What the last paint drew; nothing before the first.
    std::optional<std::array<qreal, barCount>> m_painted;
    // The coverage of `m_painted`, once a frame needed it: the frames of an
    // ease's tail are each held against the same picture.
    mutable QImage m_paintedCoverage;
    QTimer *m_frames;
};

} // namespace tovalit
