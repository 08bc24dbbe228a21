#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QUuid>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

namespace tovalit {

class HistoryRecordCard;
class TovalitButton;
class TovalitEmptyStateCard;
class TovalitSearchField;
class TranscriberViewModel;
struct TranscriptRecord;

// The history page of the main window: every dictation the view model
// holds, newest first, as a card with its actions, searchable by text and
// note. The page keeps only the search text and the expanded cards; every
// action is a call on the view model, whose published records it follows.
class HistoryListView : public QWidget {
    Q_OBJECT
public:
    explicit HistoryListView(TranscriberViewModel &viewModel, QWidget *parent = nullptr);
    ~HistoryListView() override;

    // --- View state -------------------------------------------------------
    const QSet<QUuid> &expandedRecordIDs() const { return m_expandedRecordIDs; }
    QString searchText() const;

    // --- Parts (for the window's toolbar and for tests) --------------------
    TovalitSearchField *searchField() const { return m_searchField; }
    TovalitButton *refreshButton() const { return m_refreshButton; }
    // Hidden while there are no records.
    TovalitButton *clearAllButton() const { return m_clearAllButton; }
    TovalitEmptyStateCard *noRecordsCard() const { return m_noRecordsCard; }
    TovalitEmptyStateCard *noMatchesCard() const { return m_noMatchesCard; }
    // The cards in the list, in order; more are made as the list is
    // scrolled towards its end.
    QList<HistoryRecordCard *> shownCards() const;
    // The card of a record, when it is made.
    HistoryRecordCard *cardFor(const QUuid &recordID) const;

    // How many cards are made at once, and again each time the list nears
    // its end.
    static constexpr int cardBatchSize = 40;

private:
    void refresh();
    void toggleExpanded(const QUuid &recordID);
    HistoryRecordCard *makeCard(const TranscriptRecord &record);
    void showMoreIfNearEnd();

    TranscriberViewModel &m_viewModel;
    QSet<QUuid> m_expandedRecordIDs;

    TovalitSearchField *m_searchField;
    TovalitButton *m_refreshButton;
    TovalitButton *m_clearAllButton;
    TovalitEmptyStateCard *m_noRecordsCard;
    TovalitEmptyStateCard *m_noMatchesCard;
    QScrollArea *m_list;
    QVBoxLayout *m_listColumn;
    QHash<QUuid, HistoryRecordCard *> m_cards;
    QList<HistoryRecordCard *> m_shownCards;
    int m_cardLimit = cardBatchSize;
    // How many records the search lets through, made into cards or not.
    qsizetype m_filteredCount = 0;
};

} // namespace tovalit
