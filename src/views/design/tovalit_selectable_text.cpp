#include "views/design/tovalit_selectable_text.h"

#include "views/design/tovalit_palette.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <cmath>

namespace tovalit {

namespace {

QTextOption wrappingOption() {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setAlignment(Qt::AlignLeft);
    return option;
}

// Lays `text` out at `width`, stopping after `limit` lines (0: no limit);
// `cutAt` is where the last allowed line begins when the text goes on past
// it, else -1.
std::shared_ptr<QTextLayout> layOut(const QString &text, const QFont &font, qreal width,
                                    qreal spacing, int limit, int *lines, qreal *height,
                                    int *cutAt) {
    auto layout = std::make_shared<QTextLayout>(text, font);
    layout->setTextOption(wrappingOption());
    layout->beginLayout();
    qreal y = 0;
    int count = 0;
    *cutAt = -1;
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(qMax<qreal>(width, 1));
        if (count > 0)
            y += spacing;
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++count;
        if (limit > 0 && count == limit) {
            if (line.textStart() + line.textLength() < text.size())
                *cutAt = line.textStart();
            break;
        }
    }
    layout->endLayout();
    *lines = count;
    *height = count > 0 ? y : QFontMetricsF(font).height();
    return layout;
}

} // namespace

TovalitSelectableText::TovalitSelectableText(const QString &text, const QFont &font,
                                             const QColor &color, QWidget *parent)
    : QWidget(parent)
    , m_color(color) {
    setFont(font);
    setText(text);
    setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

TovalitSelectableText::~TovalitSelectableText() = default;

void TovalitSelectableText::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(text);
    invalidate();
}

void TovalitSelectableText::setColor(const QColor &color) {
    m_color = color;
    update();
}

void TovalitSelectableText::setLineSpacing(qreal spacing) {
    m_lineSpacing = spacing;
    invalidate();
}

void TovalitSelectableText::setMaximumLineCount(int count) {
    m_maximumLineCount = qMax(0, count);
    invalidate();
}

void TovalitSelectableText::invalidate() {
    m_cache = {};
    m_anchor = m_position = 0;
    updateGeometry();
    update();
}

const TovalitSelectableText::Laidout &TovalitSelectableText::laidoutFor(qreal width) const {
    if (m_cache.width == width && m_cache.layout)
        return m_cache;
    QString laidOut = m_text;
    // QTextLayout breaks lines only at the Unicode line separator.
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    Laidout result;
    result.width = width;
    int cutAt = -1;
    result.layout = layOut(laidOut, font(), width, m_lineSpacing, m_maximumLineCount, &result.lines,
                           &result.height, &cutAt);
    if (cutAt >= 0) {
        // The rest of the text goes on the last line, ended with an
        // ellipsis; the shortened text is laid out again so that drawing,
        // hit testing and selection all work on what is seen.
        QString rest = laidOut.mid(cutAt);
        rest.replace(QChar::LineSeparator, QLatin1Char(' '));
        const QString elided = QFontMetricsF(font()).elidedText(rest, Qt::ElideRight, width);
        laidOut = laidOut.left(cutAt) + elided;
        int ignored = -1;
        result.layout = layOut(laidOut, font(), width, m_lineSpacing, 0, &result.lines,
                               &result.height, &ignored);
    }
    result.shown = laidOut;
    m_cache = std::move(result);
    return m_cache;
}

QString TovalitSelectableText::shownText(int width) const {
    QString shown = laidoutFor(width).shown;
    shown.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return shown;
}

int TovalitSelectableText::lineCountForWidth(int width) const {
    return laidoutFor(width).lines;
}

bool TovalitSelectableText::hasHeightForWidth() const {
    return true;
}

int TovalitSelectableText::heightForWidth(int width) const {
    return int(std::ceil(laidoutFor(width).height));
}

QSize TovalitSelectableText::sizeHint() const {
    const QFontMetricsF metrics(font());
    qreal widest = 0;
    for (const QString &line : m_text.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    const int width = int(std::ceil(widest)) + 1;
    return {width, heightForWidth(width)};
}

QSize TovalitSelectableText::minimumSizeHint() const {
    const QFontMetricsF metrics(font());
    return {int(std::ceil(metrics.height() * 2)), int(std::ceil(metrics.height()))};
}

QString TovalitSelectableText::selectedText() const {
    const int start = qMin(m_anchor, m_position);
    const int end = qMax(m_anchor, m_position);
    QString selected = laidoutFor(width()).shown.mid(start, end - start);
    selected.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return selected;
}

void TovalitSelectableText::selectAll() {
    m_anchor = 0;
    m_position = int(laidoutFor(width()).shown.size());
    update();
}

void TovalitSelectableText::clearSelection() {
    if (m_anchor == m_position)
        return;
    m_anchor = m_position;
    update();
}

int TovalitSelectableText::cursorAt(const QPointF &point) const {
    const Laidout &laidout = laidoutFor(width());
    QTextLayout &layout = *laidout.layout;
    if (layout.lineCount() == 0)
        return 0;
    for (int index = 0; index < layout.lineCount(); ++index) {
        const QTextLine line = layout.lineAt(index);
        if (point.y() < line.y() + line.height() + m_lineSpacing / 2 ||
            index == layout.lineCount() - 1)
            return line.xToCursor(point.x());
    }
    return 0;
}

void TovalitSelectableText::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(m_color);
    painter.setFont(font());
    const Laidout &laidout = laidoutFor(width());
    QList<QTextLayout::FormatRange> selections;
    if (m_anchor != m_position) {
        QTextLayout::FormatRange range;
        range.start = qMin(m_anchor, m_position);
        range.length = qAbs(m_position - m_anchor);
        range.format.setBackground(withOpacity(TovalitPalette::brand(), 0.32));
        selections << range;
    }
    laidout.layout->draw(&painter, QPointF(0, 0), selections);
}

void TovalitSelectableText::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int position = cursorAt(event->position());
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = position;
    m_position = position;
    update();
}

void TovalitSelectableText::mouseMoveEvent(QMouseEvent *event) {
    if (!(event->buttons() & Qt::LeftButton))
        return;
    m_position = cursorAt(event->position());
    update();
}

void TovalitSelectableText::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QString &shown = laidoutFor(width()).shown;
    const int position = cursorAt(event->position());
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, shown);
    finder.setPosition(position);
    const int start = finder.isAtBoundary() ? position : qMax(0, int(finder.toPreviousBoundary()));
    finder.setPosition(position);
    const int end = int(finder.toNextBoundary());
    m_anchor = start;
    m_position = end < 0 ? int(shown.size()) : end;
    update();
}

void TovalitSelectableText::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TovalitSelectableText::contextMenuEvent(QContextMenuEvent *event) {
    QMenu menu(this);
    QAction *copy = menu.addAction(QStringLiteral("复制"), this, [this] { copySelection(); });
    copy->setEnabled(m_anchor != m_position);
    menu.addAction(QStringLiteral("全选"), this, [this] { selectAll(); });
    menu.exec(event->globalPos());
}

void TovalitSelectableText::focusOutEvent(QFocusEvent *event) {
    // The context menu takes the focus while it is open; the selection it
    // acts on must survive that.
    if (event->reason() != Qt::PopupFocusReason)
        clearSelection();
    QWidget::focusOutEvent(event);
}

void TovalitSelectableText::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        invalidate();
}

void TovalitSelectableText::copySelection() const {
    const QString selected = selectedText();
    if (!selected.isEmpty())
        QApplication::clipboard()->setText(selected);
}

} // namespace tovalit
