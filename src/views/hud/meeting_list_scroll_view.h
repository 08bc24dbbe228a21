#pragma once

#include <QList>
#include <QScrollArea>

#include <vector>

class QVariant;
class QVariantAnimation;

namespace tovalit {

// The scrolling list of the meeting panel's content card: transparent,
// with a slim scroll bar, kept at its newest (bottom) entry. A lazy stack:
// only the entries in or near the part on show exist as widgets; the others
// are known by their height (as measured when last built, else the average
// of those measured), so the scroll range spans the whole list. An hour of
// meeting then costs what the entries on show cost, to update, to show
// after a tab switch and to keep in memory.
class MeetingListScrollView : public QScrollArea {
    Q_OBJECT
public:
    // `typicalEntryHeight` is taken for entries never built, before any
    // entry is measured.
    MeetingListScrollView(QString bottomAnchorID, int spacing, int padding, int typicalEntryHeight,
                          QWidget *parent = nullptr);

    const QString &bottomAnchorID() const { return m_bottomAnchorID; }
    QWidget *bottomAnchor() const { return m_bottomAnchor; }

    // Scrolls so the bottom anchor sits at the bottom edge, one turn of the
    // event loop later (after the new entries are laid out); animated with
    // a 0.22 s ease-out, or at once. Either ends at the bottom as it is
    // then, entries measured on the way included.
    void scrollToBottom(bool animated);
    // Whether the view shows its bottom now.
    bool isAtBottom() const;

protected:
    // The widget of entry `index`, made when the entry comes into view.
    virtual QWidget *makeEntry(qsizetype index, QWidget *parent) = 0;
    // Brings the built widget of a changed entry up to date; false when it
    // has to be made anew.
    virtual bool refreshEntry(QWidget *entry, qsizetype index);
    // Whether entries take the list's full width, or their natural width up
    // to it.
    virtual bool entriesFillWidth() const { return true; }

    // How the list changed: entries beyond `count` go, new ones come at the
    // end; entry `index` now shows something else. Then updateEntries().
    void setEntryCount(qsizetype count);
    void entryChanged(qsizetype index);
    // Lays the entries out, builds those that came into view and lets go
    // of those far from it.
    void updateEntries();

    qsizetype entryCount() const { return qsizetype(m_slots.size()); }
    // The built entries in list order; the one of `index`, or null.
    QList<QWidget *> builtEntries() const;
    QWidget *builtEntry(qsizetype index) const;
    // Shown above the entries while there are none; null takes it away.
    void setPlaceholder(QWidget *placeholder);
    QWidget *placeholderWidget() const { return m_placeholder; }
    // The parent of entries and placeholder.
    QWidget *content() const { return widget(); }

    void showEvent(QShowEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Slot {
        QWidget *widget = nullptr;
        // As last measured at the list's width; -1 before any measuring.
        int width = 0;
        int height = -1;
        bool measured = false;
    };

    void layOutEntries();
    int heightOf(const Slot &slot) const;
    int entryWidth(QWidget *entry, int available) const;
    void ensureMeasured(qsizetype index, int available);
    void discard(QWidget *entry);
    void keepDrawnOrder(qsizetype index);
    void performScroll(bool animated);
    void stepScroll(const QVariant &progress);
    void settleAtBottom();

    QString m_bottomAnchorID;
    int m_spacing;
    int m_padding;
    QWidget *m_bottomAnchor;
    QWidget *m_placeholder = nullptr;
    std::vector<Slot> m_slots;
    // The content width the heights were measured at.
    int m_width = -1;
    // The height taken for entries never measured: the average of those
    // measured so far.
    qint64 m_measuredHeights = 0;
    qint64 m_measuredCount = 0;
    int m_guessedHeight = 0;
    // A scroll to the bottom is on its way: the entries at the bottom are
    // built (and, for a jump, only those).
    bool m_followsBottom = true;
    bool m_followAnimated = false;
    bool m_updating = false;
    bool m_updateAgain = false;
    // The eased scroll runs from where it started to the bottom as it
    // stands at each frame.
    QVariantAnimation *m_scroll = nullptr;
    int m_scrollFrom = 0;
    bool m_shownOnce = false;
};

} // namespace tovalit
