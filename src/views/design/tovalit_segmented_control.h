#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QPushButton;

namespace tovalit {

// A row of mutually exclusive segments, one always chosen.
class TovalitSegmentedControl : public QWidget {
    Q_OBJECT
public:
    TovalitSegmentedControl(const QStringList &titles, QWidget *parent = nullptr);

    int currentIndex() const;
    // Does not notify.
    void setCurrentIndex(int index);
    QPushButton *segment(int index) const;
    int count() const;

Q_SIGNALS:
    // Only on a choice of the user.
    void currentIndexChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QButtonGroup *m_group;
};

} // namespace tovalit
