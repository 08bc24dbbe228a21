#pragma once

#include <QScrollArea>

class QVBoxLayout;

namespace tovalit {

// The vertical scroll view every window page puts its sections in, so all
// pages share margins and section spacing.
class TovalitPageScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit TovalitPageScrollView(QWidget *parent = nullptr);

    // Appends a section below the others.
    void addSection(QWidget *section);
    QVBoxLayout *contentLayout() const { return m_column; }

private:
    QVBoxLayout *m_column;
};

} // namespace tovalit
