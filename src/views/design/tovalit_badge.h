#pragma once

#include "views/design/tovalit_badge_tone.h"

#include <QWidget>

namespace tovalit {

// A small pill that hugs its title, tinted by its tone. No glass.
class TovalitBadge : public QWidget {
    Q_OBJECT
public:
    TovalitBadge(QString title, TovalitBadgeTone tone, QWidget *parent = nullptr);

    const QString &title() const { return m_title; }
    TovalitBadgeTone tone() const { return m_tone; }
    void setTitle(const QString &title);
    void setTone(TovalitBadgeTone tone);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_title;
    TovalitBadgeTone m_tone;
};

} // namespace tovalit
