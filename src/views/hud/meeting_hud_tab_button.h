#pragma once

#include <QAbstractButton>

namespace tovalit {

// One tab of the meeting panel's switch: a capsule filled in the brand
// colour while selected.
class MeetingHUDTabButton : public QAbstractButton {
    Q_OBJECT
public:
    MeetingHUDTabButton(const QString &title, QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_selected = false;
};

} // namespace tovalit
