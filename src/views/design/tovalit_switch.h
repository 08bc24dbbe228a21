#pragma once

#include <QAbstractButton>

namespace tovalit {

// A toggle drawn as a switch: its title, then a capsule whose knob sits on
// the right, on the brand colour, while it is on.
class TovalitSwitch : public QAbstractButton {
    Q_OBJECT

public:
    explicit TovalitSwitch(const QString &title, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &position) const override;

private:
    QRectF trackRect() const;
};

} // namespace tovalit
