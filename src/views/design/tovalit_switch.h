#pragma once

#include <QAbstractButton>

namespace tovalit {

// A toggle in the switch style: its title, then the switch.
class TovalitSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit TovalitSwitch(const QString &title, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tovalit
