#pragma once

#include <QAbstractButton>

namespace tovalit {

// The round symbol button of the recording panels (cancel, finish). A
// screen reader finds it by `title`, what it does in the interface's words;
// the symbol is only drawn.
class HUDRoundButton : public QAbstractButton {
    Q_OBJECT
public:
    HUDRoundButton(QString systemImage, const QString &title, int diameter,
                   QWidget *parent = nullptr);

    const QString &systemImage() const { return m_systemImage; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_systemImage;
    int m_diameter;
};

} // namespace tovalit
