#pragma once

#include "views/client_window_section.h"

#include <QAbstractButton>

class QVariantAnimation;

namespace tovalit {

// One row of the main window's sidebar: the section's symbol and title on
// a soft brand fill while it is the selected one. The whole row, its
// empty parts included, takes clicks.
class SidebarRow : public QAbstractButton {
    Q_OBJECT

public:
    explicit SidebarRow(ClientWindowSection section, QWidget *parent = nullptr);

    ClientWindowSection section() const { return m_section; }
    bool isSelected() const { return m_isSelected; }
    // The fill eases in and out over 0.15 s.
    void setSelected(bool selected);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ClientWindowSection m_section;
    bool m_isSelected = false;
    // 0 (clear) … 1 (selected fill).
    qreal m_fill = 0;
    QVariantAnimation *m_fillAnimation;
};

} // namespace tovalit
