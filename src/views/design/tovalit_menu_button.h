#pragma once

#include <QToolButton>

class QMenu;

namespace tovalit {

// The "more" button of a card: the ellipsis symbol in a 28 × 28 frame that
// opens its menu on press, without a border or an arrow.
class TovalitMenuButton : public QToolButton {
    Q_OBJECT
public:
    explicit TovalitMenuButton(QWidget *parent = nullptr);

    // The menu the button opens; the button owns it.
    QMenu *itemMenu() const { return m_menu; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QMenu *m_menu;
};

} // namespace tovalit
