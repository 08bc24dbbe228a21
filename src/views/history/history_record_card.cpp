#include "views/history/history_record_card.h"

#include "support/textkit.h"
#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"
#include "views/history/history_record_presentation.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

namespace tovalit {

namespace {

constexpr int collapsedLineLimit = 4;

// The small dot between the time and the duration.
class SeparatorDot : public QWidget {
public:
    explicit SeparatorDot(QWidget *parent)
        : QWidget(parent) {
        setFixedSize(4, 4);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(TovalitPalette::secondary(), 0.5));
        painter.drawEllipse(QRectF(rect()));
    }
};

QFont semibold(QFont font) {
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

HistoryRecordCard::HistoryRecordCard(const TranscriptRecord &record, bool expanded, QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::card(), parent)
    , m_record(record)
    , m_expanded(expanded)
    , m_createdAt(new TovalitTextLabel(QString(), semibold(TovalitTextStyle::subheadline()),
                                       TovalitPalette::primary(), this))
    , m_duration(new TovalitTextLabel(QString(), TovalitTextStyle::caption(),
                                      TovalitPalette::secondary(), this))
    , m_badge(new TovalitBadge(QString(), TovalitBadgeTone::neutral, this))
    , m_body(new TovalitSelectableText(QString(), TovalitTokens::FontStyle::body(),
                                       TovalitPalette::primary(), this))
    , m_secondaryLine(new QWidget(this))
    , m_secondaryIcon(
          new TovalitSymbolView(QString(), 10, TovalitPalette::secondary(), m_secondaryLine))
    , m_secondaryText(new TovalitTextLabel(QString(), TovalitTextStyle::caption(),
                                           TovalitPalette::secondary(), m_secondaryLine))
    , m_expandButton(new TovalitButton(QString(), TovalitButton::Style::bordered, this))
    , m_copyButton(new TovalitButton(QStringLiteral("复制"), TovalitButton::Style::bordered, this))
    , m_retryButton(new TovalitButton(QStringLiteral("重试"), TovalitButton::Style::bordered, this))
    , m_moreButton(new TovalitMenuButton(this)) {
    setObjectName(QStringLiteral("HistoryRecordCard"));
    m_createdAt->setWraps(false);
    m_duration->setWraps(false);
    m_body->setObjectName(QStringLiteral("HistoryRecordText"));
    m_body->setLineSpacing(2);
    m_expandButton->setObjectName(QStringLiteral("HistoryExpandButton"));
    m_copyButton->setObjectName(QStringLiteral("HistoryCopyButton"));
    m_retryButton->setObjectName(QStringLiteral("HistoryRetryButton"));
    m_moreButton->setObjectName(QStringLiteral("HistoryMoreButton"));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(m_createdAt, 0, Qt::AlignVCenter);
    header->addWidget(new SeparatorDot(this), 0, Qt::AlignVCenter);
    header->addWidget(m_duration, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(m_badge, 0, Qt::AlignVCenter);
    column->addLayout(header);

    column->addWidget(m_body);

    auto *secondary = new QHBoxLayout(m_secondaryLine);
    secondary->setContentsMargins(0, 0, 0, 0);
    secondary->setSpacing(4);
    secondary->addWidget(m_secondaryIcon, 0, Qt::AlignTop);
    secondary->addWidget(m_secondaryText, 1);
    column->addWidget(m_secondaryLine);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(10);
    actions->addWidget(m_expandButton, 0, Qt::AlignVCenter);
    actions->addStretch(1);
    actions->addWidget(m_copyButton, 0, Qt::AlignVCenter);
    actions->addWidget(m_retryButton, 0, Qt::AlignVCenter);
    actions->addWidget(m_moreButton, 0, Qt::AlignVCenter);
    column->addLayout(actions);

    connect(m_expandButton, &QPushButton::clicked, this, &HistoryRecordCard::expandClicked);
    connect(m_copyButton, &QPushButton::clicked, this, &HistoryRecordCard::copyClicked);
    connect(m_retryButton, &QPushButton::clicked, this, &HistoryRecordCard::retryClicked);

    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    refresh();
}

void HistoryRecordCard::setRecord(const TranscriptRecord &record, bool expanded) {
    if (record == m_record && expanded == m_expanded)
        return;
    m_record = record;
    m_expanded = expanded;
    refresh();
}

void HistoryRecordCard::refresh() {
    using namespace HistoryRecordPresentation;
    const TranscriptRecordStatus shown = m_record.presentationStatus();

    m_createdAt->setText(m_record.formattedCreatedAt());
    m_duration->setText(m_record.formattedDuration());
    m_badge->setTitle(statusBadgeTitle(shown));
    m_badge->setTone(statusBadgeTone(shown));
    setAccessibleName(m_record.formattedCreatedAt() + u' ' + statusBadgeTitle(shown));

    m_body->setText(m_expanded ? displayText(m_record) : previewText(m_record));
    m_body->setMaximumLineCount(m_expanded ? 0 : collapsedLineLimit);

    const std::optional<QString> secondary = secondaryMessage(m_record);
    m_secondaryLine->setVisible(secondary.has_value());
    if (secondary) {
        const QColor color = secondaryMessageColor(shown);
        m_secondaryIcon->setSymbol(secondaryMessageIcon(shown), color);
        m_secondaryText->setText(*secondary);
        m_secondaryText->setColor(color);
    }

    m_expandButton->setVisible(canExpand(m_record));
    m_expandButton->setText(m_expanded ? QStringLiteral("收起") : QStringLiteral("全文"));
    m_copyButton->setEnabled(!textkit::isBlank(m_record.transcript));
    m_retryButton->setVisible(m_record.canRetry());
    rebuildMenu();
}

void HistoryRecordCard::rebuildMenu() {
    QMenu *menu = m_moreButton->itemMenu();
    menu->clear();
    if (m_record.transcriptFileName) {
        menu->addAction(QStringLiteral("打开转写文件"), this,
                        &HistoryRecordCard::revealTranscriptClicked);
    }
    if (m_record.audioFileName)
        menu->addAction(QStringLiteral("打开录音文件"), this,
                        &HistoryRecordCard::revealAudioClicked);
    menu->addSeparator();
    QAction *remove =
        menu->addAction(QStringLiteral("删除记录"), this, &HistoryRecordCard::deleteClicked);
    remove->setObjectName(QStringLiteral("HistoryDeleteAction"));
}

} // namespace tovalit
