#pragma once

#include <QList>
#include <QWidget>

#include <array>

class QVariantAnimation;

namespace tovalit {

// The five-bar level meter of the recording panels. Bars follow new levels
// with a short ease-out.
class WaveformBarsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int barCount = 5;
    static constexpr qreal barWidth = 3;
    static constexpr qreal barSpacing = 3;
    static constexpr int frameHeight = 22;

    WaveformBarsView(qreal minimumHeight, qreal maximumHeight, QWidget *parent = nullptr);

    void setLevels(const QList<double> &levels);

    // Always five levels: a resting meter without input, the last level
    // repeated in front of fewer than five, the first five of more.
    static std::array<double, barCount> displayLevels(const QList<double> &levels);
    // The height of a bar at `level`, clamped to 0...1.
    static qreal barHeight(double level, qreal minimumHeight, qreal maximumHeight);

    // The heights the bars are heading for.
    std::array<qreal, barCount> targetHeights() const { return m_to; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::array<qreal, barCount> currentHeights() const;

    qreal m_minimumHeight;
    qreal m_maximumHeight;
    std::array<qreal, barCount> m_from{};
    std::array<qreal, barCount> m_to{};
    QVariantAnimation *m_animation;
};

} // namespace tovalit
