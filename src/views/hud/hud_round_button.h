#pragma once

#include <QAbstractButton>

namespace tovalit {

// The round symbol button of the recording panels (cancel, finish).
class HUDRoundButton : public QAbstractButton {
    Q_OBJECT
public:
    HUDRoundButton(QString systemImage, int diameter, QWidget *parent = nullptr);

    const QString &systemImage() const { return m_systemImage; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_systemImage;
    int m_diameter;
};

} // namespace tovalit
