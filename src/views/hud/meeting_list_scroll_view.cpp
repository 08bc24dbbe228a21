#include "views/hud/meeting_list_scroll_view.h"

#include <QEvent>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QVariantAnimation>

#include <algorithm>

namespace tovalit {

namespace {

// Entries are built this far beyond the part on show (at least a screenful
// either way), so a scroll finds them ready, and let go three times as far.
constexpr int minimumOverscan = 240;
constexpr int keptOverscans = 3;

// Stretches of the content: the part on show and, while a scroll to the
// bottom is on its way, the bottom.
struct Bands {
    int ranges[2][2] = {{0, -1}, {0, -1}};
    bool meets(int y, int height) const {
        for (const auto &range : ranges) {
            if (y + height >= range[0] && y <= range[1])
                return true;
        }
        return false;
    }
};

} // namespace

MeetingListScrollView::MeetingListScrollView(QString bottomAnchorID, int spacing, int padding,
                                             int typicalEntryHeight, QWidget *parent)
    : QScrollArea(parent)
    , m_bottomAnchorID(std::move(bottomAnchorID))
    , m_spacing(spacing)
    , m_padding(padding)
    , m_guessedHeight(typicalEntryHeight) {
    setFrameShape(QFrame::NoFrame);
    // The list sizes its content itself: as wide as the view, as high as
    // all its entries.
    setWidgetResizable(false);
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
    m_bottomAnchor = new QWidget(content);
    m_bottomAnchor->setObjectName(m_bottomAnchorID);
    setWidget(content);
    // setWidget() asks the content to fill its background; it would then
    // count as opaque without painting anything and hide the glass.
    content->setAutoFillBackground(false);
}

bool MeetingListScrollView::refreshEntry(QWidget *, qsizetype) {
    return false;
}

void MeetingListScrollView::setEntryCount(qsizetype count) {
    for (qsizetype index = count; index < entryCount(); ++index) {
        if (QWidget *entry = m_slots[std::size_t(index)].widget)
            discard(entry);
    }
    m_slots.resize(std::size_t(std::max<qsizetype>(count, 0)));
}

void MeetingListScrollView::entryChanged(qsizetype index) {
    Slot &slot = m_slots[std::size_t(index)];
    // The old height stays as the guess until the entry is measured again.
    slot.measured = false;
    if (slot.widget && !refreshEntry(slot.widget, index)) {
        discard(slot.widget);
        slot.widget = nullptr;
    }
}

QList<QWidget *> MeetingListScrollView::builtEntries() const {
    QList<QWidget *> entries;
    for (const Slot &slot : m_slots) {
        if (slot.widget)
            entries.append(slot.widget);
    }
    return entries;
}

QWidget *MeetingListScrollView::builtEntry(qsizetype index) const {
    return index >= 0 && index < entryCount() ? m_slots[std::size_t(index)].widget : nullptr;
}

void MeetingListScrollView::setPlaceholder(QWidget *placeholder) {
    if (placeholder == m_placeholder)
        return;
    if (m_placeholder)
        discard(m_placeholder);
    m_placeholder = placeholder;
    if (m_placeholder) {
        m_placeholder->stackUnder(m_bottomAnchor);
        m_placeholder->show();
    }
}

void MeetingListScrollView::updateEntries() {
    // Sizing the content moves the scroll bar, which asks for another
    // layout from inside this one: that runs as a further pass.
    if (m_updating) {
        m_updateAgain = true;
        return;
    }
    m_updating = true;
    int passes = 0;
    do {
        m_updateAgain = false;
        layOutEntries();
    } while (m_updateAgain && ++passes < 4);
    m_updating = false;
}

int MeetingListScrollView::heightOf(const Slot &slot) const {
    return slot.height >= 0 ? slot.height : m_guessedHeight;
}

int MeetingListScrollView::entryWidth(QWidget *entry, int available) const {
    return entriesFillWidth() ? available : std::min(entry->sizeHint().width(), available);
}

namespace {

int heightAtWidth(QWidget *widget, int width) {
    widget->ensurePolished();
    int height = widget->hasHeightForWidth() ? widget->heightForWidth(width) : -1;
    if (height < 0)
        height = widget->sizeHint().height();
    return std::max(height, widget->minimumHeight());
}

} // namespace

void MeetingListScrollView::ensureMeasured(qsizetype index, int available) {
    Slot &slot = m_slots[std::size_t(index)];
    if (!slot.widget) {
        slot.widget = makeEntry(index, content());
        keepDrawnOrder(index);
    }
    if (slot.measured)
        return;
    slot.width = entryWidth(slot.widget, available);
    slot.height = heightAtWidth(slot.widget, slot.width);
    slot.measured = true;
    m_measuredHeights += slot.height;
    ++m_measuredCount;
    m_guessedHeight = int(m_measuredHeights / m_measuredCount);
}

void MeetingListScrollView::keepDrawnOrder(qsizetype index) {
    // Assistive technologies read a widget's children in the order they
    // were made, and entries are made as they come into view (the newest
    // first when the list opens at its bottom): each one goes before the
    // next entry built, and the bottom anchor stays last.
    QWidget *next = m_bottomAnchor;
    for (qsizetype later = index + 1; later < entryCount(); ++later) {
        if (QWidget *entry = m_slots[std::size_t(later)].widget) {
            next = entry;
            break;
        }
    }
    m_slots[std::size_t(index)].widget->stackUnder(next);
}

void MeetingListScrollView::discard(QWidget *entry) {
    entry->hide();
    entry->deleteLater();
}

void MeetingListScrollView::layOutEntries() {
    const int width = viewport()->width();
    if (width != m_width) {
        m_width = width;
        for (Slot &slot : m_slots)
            slot.measured = false;
    }
    const int available = std::max(width - 2 * m_padding, 1);
    // A hidden list builds nothing (it may never be shown) and keeps what
    // it has built for when it shows again.
    const bool builds = isVisible();
    const int viewHeight = viewport()->height();
    const int overscan = std::max(viewHeight, minimumOverscan);
    const qsizetype count = entryCount();

    int y = m_padding;
    if (m_placeholder) {
        const int height = heightAtWidth(m_placeholder, available);
        m_placeholder->setGeometry(m_padding, y, available, height);
        y += height + m_spacing;
    }
    const int entriesTop = y;

    // With a scroll to the bottom on its way, the newest entries are built
    // first, so their true heights place the bottom.
    if (builds && m_followsBottom) {
        int covered = 0;
        for (qsizetype index = count - 1; index >= 0 && covered < viewHeight + overscan; --index) {
            ensureMeasured(index, available);
            covered += m_slots[std::size_t(index)].height + m_spacing;
        }
    }
    int total = entriesTop;
    for (const Slot &slot : m_slots)
        total += heightOf(slot) + m_spacing;
    total += 1 + m_padding;

    const int shownTop = verticalScrollBar()->value();
    const int bottomTop = std::max(total - viewHeight, 0);
    // The part on show and the part about to be; a jump to the bottom needs
    // nothing of what is on show now.
    Bands build, keep;
    if (builds) {
        const int tops[2] = {!m_followsBottom || m_followAnimated ? shownTop : bottomTop,
                             m_followsBottom ? bottomTop : shownTop};
        for (int band = 0; band < 2; ++band) {
            build.ranges[band][0] = tops[band] - overscan;
            build.ranges[band][1] = tops[band] + viewHeight + overscan;
            keep.ranges[band][0] = tops[band] - keptOverscans * overscan;
            keep.ranges[band][1] = tops[band] + viewHeight + keptOverscans * overscan;
        }
    }

    // Entries measured above the part on show push it down by what their
    // guessed heights missed; the scroll follows so the view stays put.
    int shift = 0;
    y = entriesTop;
    for (qsizetype index = 0; index < count; ++index) {
        Slot &slot = m_slots[std::size_t(index)];
        int height = heightOf(slot);
        if (build.meets(y, height) || (slot.widget && !slot.measured)) {
            const int guessed = height;
            ensureMeasured(index, available);
            height = slot.height;
            if (!m_followsBottom && y + guessed <= shownTop)
                shift += height - guessed;
        } else if (builds && slot.widget && !keep.meets(y, height)) {
            discard(slot.widget);
            slot.widget = nullptr;
        }
        if (slot.widget) {
            slot.widget->setGeometry(m_padding, y, slot.width, height);
            if (slot.widget->isHidden())
                slot.widget->show();
        }
        y += height + m_spacing;
    }
    m_bottomAnchor->setGeometry(m_padding, y, available, 1);
    total = y + 1 + m_padding;

    // The scroll area takes the new range from the content's resize.
    if (content()->size() != QSize(width, total))
        content()->resize(width, total);
    if (shift != 0) {
        // An eased scroll on its way moves with what it scrolls over.
        if (m_scroll && m_scroll->state() == QAbstractAnimation::Running)
            m_scrollFrom += shift;
        verticalScrollBar()->setValue(shownTop + shift);
    }
}

void MeetingListScrollView::scrollToBottom(bool animated) {
    m_followsBottom = true;
    m_followAnimated = m_followAnimated || animated;
    QTimer::singleShot(0, this, [self = QPointer(this), animated] {
        if (self)
            self->performScroll(animated);
    });
}

bool MeetingListScrollView::isAtBottom() const {
    const QScrollBar *bar = verticalScrollBar();
    return bar->value() == bar->maximum();
}

void MeetingListScrollView::performScroll(bool animated) {
    // Lay the newest entries out now, so the range includes them.
    m_followsBottom = true;
    updateEntries();
    m_followsBottom = false;
    m_followAnimated = false;
    if (m_scroll)
        m_scroll->stop();
    QScrollBar *bar = verticalScrollBar();
    if (!animated || !isVisible() || bar->value() == bar->maximum()) {
        settleAtBottom();
        return;
    }
    if (!m_scroll) {
        m_scroll = new QVariantAnimation(this);
        m_scroll->setStartValue(0.0);
        m_scroll->setEndValue(1.0);
        m_scroll->setDuration(220);
        m_scroll->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_scroll, &QVariantAnimation::valueChanged, this,
                &MeetingListScrollView::stepScroll);
        connect(m_scroll, &QAbstractAnimation::finished, this,
                &MeetingListScrollView::settleAtBottom);
    }
    m_scrollFrom = bar->value();
    m_scroll->start();
}

void MeetingListScrollView::stepScroll(const QVariant &progress) {
    // The bottom is aimed at afresh on every frame: entries measured on the
    // way (their heights were guesses) move it.
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(m_scrollFrom + qRound((bar->maximum() - m_scrollFrom) * progress.toReal()));
}

void MeetingListScrollView::settleAtBottom() {
    // Reaching the bottom measures the entries that come into view there;
    // should that move the bottom, go on to it.
    QScrollBar *bar = verticalScrollBar();
    for (int pass = 0; pass < 4 && bar->value() != bar->maximum(); ++pass)
        bar->setValue(bar->maximum());
}

void MeetingListScrollView::showEvent(QShowEvent *event) {
    QScrollArea::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        scrollToBottom(false);
    }
    updateEntries();
}

bool MeetingListScrollView::viewportEvent(QEvent *event) {
    const bool handled = QScrollArea::viewportEvent(event);
    if (event->type() == QEvent::Resize)
        updateEntries();
    return handled;
}

void MeetingListScrollView::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    updateEntries();
}

} // namespace tovalit
