#include "views/design/tovalit_text_label.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace tovalit {

namespace {

QTextOption wrappingOption(Qt::Alignment alignment, bool wraps) {
    QTextOption option;
    option.setWrapMode(wraps ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    option.setAlignment(alignment & Qt::AlignHorizontal_Mask);
    return option;
}

} // namespace

TovalitTextLabel::TovalitTextLabel(const QString &text, const QFont &font, const QColor &color,
                                   QWidget *parent)
    : QLabel(parent)
    , m_color(color) {
    setTextFormat(Qt::PlainText);
    setFont(font);
    setText(text);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void TovalitTextLabel::setColor(const QColor &color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void TovalitTextLabel::setLineSpacing(qreal spacing) {
    m_cache.width = -1;
    m_lineSpacing = spacing;
    updateGeometry();
    update();
}

void TovalitTextLabel::setMaximumLineCount(int count) {
    m_cache.width = -1;
    m_maximumLineCount = qMax(0, count);
    updateGeometry();
    update();
}

void TovalitTextLabel::setWraps(bool wraps) {
    m_cache.width = -1;
    m_wraps = wraps;
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(wraps);
    setSizePolicy(policy);
    updateGeometry();
    update();
}

QString TovalitTextLabel::layoutText() const {
    QString laidOut = text();
    // QTextLayout breaks lines only at the Unicode line separator.
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return laidOut;
}

TovalitTextLabel::Measure TovalitTextLabel::measure(qreal width) const {
    if (m_cache.width == width && m_cache.text == text() && m_cache.font == font())
        return m_cache.measure;
    const QFontMetricsF metrics(font());
    Measure result;
    if (!m_wraps) {
        result.lines = 1;
        result.height = metrics.height();
        result.truncated = metrics.horizontalAdvance(text()) > width + 0.01;
        return result;
    }
    const QString laidOut = layoutText();
    QTextLayout layout(laidOut, font());
    layout.setTextOption(wrappingOption(alignment(), true));
    layout.beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(qMax<qreal>(width, 1));
        if (result.lines > 0)
            y += m_lineSpacing;
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++result.lines;
        if (m_maximumLineCount > 0 && result.lines == m_maximumLineCount) {
            result.truncated = line.textStart() + line.textLength() < laidOut.size();
            break;
        }
    }
    layout.endLayout();
    result.height = result.lines > 0 ? y : metrics.height();
    m_cache = {width, text(), font(), result};
    return result;
}

int TovalitTextLabel::lineCountForWidth(int width) const {
    return measure(width).lines;
}

bool TovalitTextLabel::isTruncatedAtWidth(int width) const {
    return measure(width).truncated;
}

qreal TovalitTextLabel::naturalWidth() const {
    const QFontMetricsF metrics(font());
    qreal widest = 0;
    for (const QString &line : text().split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return std::ceil(widest) + 1;
}

bool TovalitTextLabel::hasHeightForWidth() const {
    return m_wraps;
}

int TovalitTextLabel::heightForWidth(int width) const {
    return int(std::ceil(measure(width).height));
}

QSize TovalitTextLabel::sizeHint() const {
    const int width = int(naturalWidth());
    return {width, heightForWidth(width)};
}

QSize TovalitTextLabel::minimumSizeHint() const {
    const QFontMetricsF metrics(font());
    const int narrowest = int(std::ceil(metrics.height() * (m_wraps ? 2 : 1.5)));
    const int width = qMin(int(naturalWidth()), narrowest);
    return {width, int(std::ceil(metrics.height()))};
}

void TovalitTextLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(m_color);
    painter.setFont(font());
    const qreal width = contentsRect().width();
    const QPointF origin = contentsRect().topLeft();
    const QFontMetricsF metrics(font());

    if (!m_wraps) {
        const QString shown = metrics.elidedText(text(), Qt::ElideRight, width);
        painter.drawText(QRectF(origin, QSizeF(width, metrics.height())),
                         int(alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter, shown);
        return;
    }

    const QString laidOut = layoutText();
    QTextLayout layout(laidOut, font());
    layout.setTextOption(wrappingOption(alignment(), true));
    layout.beginLayout();
    qreal y = 0;
    int lines = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(qMax<qreal>(width, 1));
        if (lines > 0)
            y += m_lineSpacing;
        line.setPosition(QPointF(0, y));
        ++lines;
        const bool last = m_maximumLineCount > 0 && lines == m_maximumLineCount;
        if (last && line.textStart() + line.textLength() < laidOut.size()) {
            // The limit cuts the text: the rest of it goes on this line,
            // ended with an ellipsis.
            QString rest = laidOut.mid(line.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            const QString elided = metrics.elidedText(rest, Qt::ElideRight, width);
            const QRectF lineBox(origin.x(), origin.y() + y, width, line.height());
            layout.endLayout();
            // The lines above the cut are drawn as laid out; only this one
            // is replaced by the elided rest.
            for (int index = 0; index + 1 < layout.lineCount(); ++index)
                layout.lineAt(index).draw(&painter, origin);
            painter.drawText(
                lineBox, int(alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter, elided);
            return;
        }
        y += line.height();
        if (last)
            break;
    }
    layout.endLayout();
    layout.draw(&painter, origin);
}

void TovalitTextLabel::changeEvent(QEvent *event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateGeometry();
}

} // namespace tovalit
