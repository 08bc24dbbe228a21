#pragma once

#include <QWidget>

class QVariantAnimation;

namespace tovalit {

// The indeterminate progress bar of the status panel: a short gradient
// indicator sweeping from hidden on the left to hidden on the right, again
// and again, every 1.05 s.
class CapsuleProgressTrack : public QWidget {
    Q_OBJECT
public:
    explicit CapsuleProgressTrack(QWidget *parent = nullptr);

    // The indicator's width on a track of `trackWidth`.
    static qreal indicatorWidth(qreal trackWidth);
    // Where the indicator's leading edge is now.
    qreal indicatorOffset() const { return m_indicatorOffset; }
    bool isSweeping() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void restartSweep();

    qreal m_indicatorOffset = -72;
    QVariantAnimation *m_sweep;
};

} // namespace tovalit
