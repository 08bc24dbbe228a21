#include "views/hud/meeting_list_scroll_view.h"

#include <QPointer>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tovalit {

MeetingListScrollView::MeetingListScrollView(QString bottomAnchorID, int spacing, int padding,
                                             QWidget *parent)
    : QScrollArea(parent)
    , m_bottomAnchorID(std::move(bottomAnchorID)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The card's glass shows through: neither the view nor its viewport
    // paints a background (a style sheet on the view would make the
    // viewport paint one).
    setAttribute(Qt::WA_TranslucentBackground);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_TranslucentBackground);
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 4px 2px 4px 0; }"
        "QScrollBar::handle:vertical { background: rgba(0, 0, 0, 56); border-radius: 3px;"
        " min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));

    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("listContent"));
    content->setAttribute(Qt::WA_TranslucentBackground);
    m_column = new QVBoxLayout(content);
    m_column->setContentsMargins(padding, padding, padding, padding);
    m_column->setSpacing(spacing);
    m_bottomAnchor = new QWidget(content);
    m_bottomAnchor->setObjectName(m_bottomAnchorID);
    m_bottomAnchor->setFixedHeight(1);
    m_column->addWidget(m_bottomAnchor);
    m_column->addStretch(1);
    setWidget(content);
    // setWidget() asks the content to fill its background; it would then
    // count as opaque without painting anything and hide the glass.
    content->setAutoFillBackground(false);
}

void MeetingListScrollView::scrollToBottom(bool animated) {
    QTimer::singleShot(0, this, [self = QPointer(this), animated] {
        if (self)
            self->performScroll(animated);
    });
}

void MeetingListScrollView::discardEntry(QWidget *entry) {
    m_column->removeWidget(entry);
    entry->hide();
    entry->deleteLater();
}

bool MeetingListScrollView::isAtBottom() const {
    const QScrollBar *bar = verticalScrollBar();
    return bar->value() == bar->maximum();
}

void MeetingListScrollView::performScroll(bool animated) {
    // Lay the new entries out now, so the range includes them.
    if (widget() && widget()->layout())
        widget()->layout()->activate();
    QScrollBar *bar = verticalScrollBar();
    if (m_scroll)
        m_scroll->stop();
    const int target = bar->maximum();
    if (!animated || !isVisible() || bar->value() == target) {
        bar->setValue(target);
        return;
    }
    if (!m_scroll) {
        m_scroll = new QPropertyAnimation(bar, "value", this);
        m_scroll->setDuration(220);
        m_scroll->setEasingCurve(QEasingCurve::OutCubic);
    }
    m_scroll->setStartValue(bar->value());
    m_scroll->setEndValue(target);
    m_scroll->start();
}

void MeetingListScrollView::showEvent(QShowEvent *event) {
    QScrollArea::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        scrollToBottom(false);
    }
}

} // namespace tovalit
