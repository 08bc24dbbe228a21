#include "views/history/history_list_view.h"

#include "state/transcriber_view_model.h"
#include "support/spawn.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_notice_card.h"
#include "views/design/tovalit_page_layout.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_search_field.h"
#include "views/design/tovalit_tokens.h"
#include "views/history/history_record_card.h"
#include "views/history/history_record_presentation.h"

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace tovalit {

HistoryListView::HistoryListView(TranscriberViewModel &viewModel, QWidget *parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_searchField(new TovalitSearchField(QStringLiteral("搜索转写内容"), this))
    , m_refreshButton(
          new TovalitButton(QStringLiteral("刷新"), TovalitButton::Style::bordered, this))
    , m_clearAllButton(
          new TovalitButton(QStringLiteral("清空全部"), TovalitButton::Style::bordered, this))
    , m_noRecordsCard(new TovalitEmptyStateCard(
          QStringLiteral("还没有历史记录"), QStringLiteral("clock.arrow.circlepath"),
          QStringLiteral("完成一次转写后，这里会保留时间、文本和必要操作。"), std::nullopt, {},
          this))
    , m_noMatchesCard(new TovalitEmptyStateCard(
          QStringLiteral("没有匹配结果"), QStringLiteral("magnifyingglass"),
          QStringLiteral("换个关键词试试，或者清空搜索。"), std::nullopt, {}, this))
    , m_list(new QScrollArea(this)) {
    using namespace TovalitTokens;
    setObjectName(QStringLiteral("HistoryListView"));
    m_searchField->setObjectName(QStringLiteral("HistorySearchField"));
    m_refreshButton->setObjectName(QStringLiteral("HistoryRefreshButton"));
    m_clearAllButton->setObjectName(QStringLiteral("HistoryClearAllButton"));
    m_clearAllButton->setTint(TovalitPalette::red());
    m_noRecordsCard->setObjectName(QStringLiteral("HistoryNoRecordsCard"));
    m_noMatchesCard->setObjectName(QStringLiteral("HistoryNoMatchesCard"));

    const int padding = int(Layout::pagePadding);
    auto *notice = new TovalitNoticeCard(
        QStringLiteral(
            "这里保留最近的转写结果和必要操作。默认展示结果摘要，需要时再展开全文或定位原"
            "始文件。"),
        QStringLiteral("clock.arrow.circlepath"), TovalitBadgeTone::neutral, this);
    notice->setObjectName(QStringLiteral("HistoryNoticeCard"));

    m_list->setObjectName(QStringLiteral("HistoryRecordsList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setWidgetResizable(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->viewport()->setAutoFillBackground(false);
    auto *listContent = new QWidget;
    m_listColumn = new QVBoxLayout(listContent);
    m_listColumn->setContentsMargins(0, 0, 0, 0);
    m_listColumn->setSpacing(12);
    m_listColumn->addStretch(1);
    m_list->setWidget(listContent);
    listContent->setAutoFillBackground(false);

    auto *column = new QVBoxLayout;
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(int(Layout::contentSpacing));
    column->addWidget(notice);
    column->addWidget(m_noRecordsCard, 1);
    column->addWidget(m_noMatchesCard, 1);
    column->addWidget(m_list, 1);

    makePageColumn(this, {m_searchField, m_refreshButton, m_clearAllButton})->addLayout(column, 1);

    connect(m_searchField, &QLineEdit::textChanged, this, [this] {
        m_cardLimit = cardBatchSize;
        m_list->verticalScrollBar()->setValue(0);
        refresh();
    });
    connect(m_refreshButton, &QPushButton::clicked, this, [this] {
        spawn(
            this, [viewModel = &m_viewModel] { return viewModel->loadHistory(); },
            QStringLiteral("reload history"));
    });
    connect(m_clearAllButton, &QPushButton::clicked, this, [this] { m_viewModel.clearHistory(); });
    connect(&m_viewModel, &TranscriberViewModel::recordsChanged, this, &HistoryListView::refresh);
    // Queued: the range changes while the list is being laid out, which is
    // no moment to add cards to it.
    connect(m_list->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &HistoryListView::showMoreIfNearEnd, Qt::QueuedConnection);
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &HistoryListView::showMoreIfNearEnd);
    refresh();
}

HistoryListView::~HistoryListView() = default;

QString HistoryListView::searchText() const {
    return m_searchField->text();
}

QList<HistoryRecordCard *> HistoryListView::shownCards() const {
    return m_shownCards;
}

HistoryRecordCard *HistoryListView::cardFor(const QUuid &recordID) const {
    return m_cards.value(recordID);
}

void HistoryListView::refresh() {
    const QList<TranscriptRecord> records = m_viewModel.records();
    const QList<TranscriptRecord> filtered =
        HistoryRecordPresentation::filteredRecords(records, searchText());

    m_clearAllButton->setVisible(!records.isEmpty());
    m_noRecordsCard->setVisible(records.isEmpty());
    m_noMatchesCard->setVisible(!records.isEmpty() && filtered.isEmpty());
    m_list->setVisible(!filtered.isEmpty());

    // Cards of records the view model no longer holds go; the others are
    // kept, so a search or an update does not rebuild the whole list.
    QSet<QUuid> held;
    for (const TranscriptRecord &record : records)
        held.insert(record.id);
    for (HistoryRecordCard *card : std::as_const(m_shownCards))
        m_listColumn->removeWidget(card);
    for (auto it = m_cards.begin(); it != m_cards.end();) {
        if (held.contains(it.key())) {
            ++it;
            continue;
        }
        it.value()->hide();
        it.value()->deleteLater();
        it = m_cards.erase(it);
    }

    QList<HistoryRecordCard *> shown;
    QSet<QUuid> placed;
    for (const TranscriptRecord &record : filtered) {
        if (shown.size() >= m_cardLimit)
            break;
        if (placed.contains(record.id))
            continue;
        placed.insert(record.id);
        HistoryRecordCard *card = m_cards.value(record.id);
        if (!card)
            card = makeCard(record);
        card->setRecord(record, m_expandedRecordIDs.contains(record.id));
        m_listColumn->insertWidget(int(shown.size()), card);
        card->show();
        shown << card;
    }
    for (HistoryRecordCard *card : std::as_const(m_cards)) {
        if (!placed.contains(card->record().id))
            card->hide();
    }
    m_shownCards = shown;
    m_filteredCount = filtered.size();
}

HistoryRecordCard *HistoryListView::makeCard(const TranscriptRecord &record) {
    auto *card = new HistoryRecordCard(record, m_expandedRecordIDs.contains(record.id));
    m_cards.insert(record.id, card);
    connect(card, &HistoryRecordCard::expandClicked, this,
            [this, card] { toggleExpanded(card->record().id); });
    connect(card, &HistoryRecordCard::copyClicked, this,
            [this, card] { m_viewModel.copyTranscript(card->record().transcript); });
    connect(card, &HistoryRecordCard::retryClicked, this,
            [this, card] { m_viewModel.retryRecord(card->record()); });
    connect(card, &HistoryRecordCard::revealTranscriptClicked, this,
            [this, card] { m_viewModel.revealTranscriptFile(card->record()); });
    connect(card, &HistoryRecordCard::revealAudioClicked, this,
            [this, card] { m_viewModel.revealAudioFile(card->record()); });
    connect(card, &HistoryRecordCard::deleteClicked, this,
            [this, card] { m_viewModel.deleteRecord(card->record()); });
    return card;
}

void HistoryListView::toggleExpanded(const QUuid &recordID) {
    if (!m_expandedRecordIDs.remove(recordID))
        m_expandedRecordIDs.insert(recordID);
    if (HistoryRecordCard *card = m_cards.value(recordID))
        card->setRecord(card->record(), m_expandedRecordIDs.contains(recordID));
}

void HistoryListView::showMoreIfNearEnd() {
    const QScrollBar *bar = m_list->verticalScrollBar();
    if (bar->maximum() - bar->value() > m_list->viewport()->height())
        return;
    if (m_shownCards.size() >= m_filteredCount || m_shownCards.size() < m_cardLimit)
        return;
    m_cardLimit += cardBatchSize;
    refresh();
}

} // namespace tovalit
