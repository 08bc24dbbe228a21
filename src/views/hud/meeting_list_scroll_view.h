#pragma once

#include <QScrollArea>

class QPropertyAnimation;
class QVBoxLayout;

namespace tovalit {

// The scrolling list of the meeting panel's content card: transparent,
// with a slim scroll bar, kept at its newest (bottom) entry. Entries go
// into contentLayout(), above the 1-pixel bottom anchor.
class MeetingListScrollView : public QScrollArea {
    Q_OBJECT
public:
    MeetingListScrollView(QString bottomAnchorID, int spacing, int padding,
                          QWidget *parent = nullptr);

    const QString &bottomAnchorID() const { return m_bottomAnchorID; }
    QWidget *bottomAnchor() const { return m_bottomAnchor; }

    // Scrolls so the bottom anchor sits at the bottom edge, one turn of the
    // event loop later (after the new entries are laid out); animated with
    // a 0.22 s ease-out, or at once.
    void scrollToBottom(bool animated);
    // Whether the view shows its bottom now.
    bool isAtBottom() const;

protected:
    QVBoxLayout *contentLayout() const { return m_column; }
    // Takes an entry out of the list at once; it is deleted later.
    void discardEntry(QWidget *entry);
    void showEvent(QShowEvent *event) override;

private:
    void performScroll(bool animated);

    QString m_bottomAnchorID;
    QVBoxLayout *m_column;
    QWidget *m_bottomAnchor;
    QPropertyAnimation *m_scroll = nullptr;
    bool m_shownOnce = false;
};

} // namespace tovalit
