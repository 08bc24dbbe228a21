#include "views/hud/adaptive_grid_layout.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tovalit {

AdaptiveGridLayout::AdaptiveGridLayout(qreal minimumColumnWidth, int columnSpacing, int rowSpacing,
                                       QWidget *parent)
    : QLayout(parent)
    , m_minimumColumnWidth(minimumColumnWidth)
    , m_columnSpacing(columnSpacing)
    , m_rowSpacing(rowSpacing) {
    setContentsMargins(0, 0, 0, 0);
}

AdaptiveGridLayout::~AdaptiveGridLayout() {
    while (QLayoutItem *item = takeAt(0))
        delete item;
}

int AdaptiveGridLayout::columnCountForWidth(int width) const {
    const qreal columns =
        std::floor((width + m_columnSpacing) / (m_minimumColumnWidth + m_columnSpacing));
    return std::max(1, int(columns));
}

void AdaptiveGridLayout::addItem(QLayoutItem *item) {
    m_items.append(item);
}

int AdaptiveGridLayout::count() const {
    return int(m_items.size());
}

QLayoutItem *AdaptiveGridLayout::itemAt(int index) const {
    return m_items.value(index);
}

QLayoutItem *AdaptiveGridLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size())
        return nullptr;
    return m_items.takeAt(index);
}

Qt::Orientations AdaptiveGridLayout::expandingDirections() const {
    return Qt::Horizontal;
}

bool AdaptiveGridLayout::hasHeightForWidth() const {
    return true;
}

int AdaptiveGridLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize AdaptiveGridLayout::sizeHint() const {
    const int width = int(std::ceil(m_minimumColumnWidth));
    return {width, heightForWidth(width)};
}

QSize AdaptiveGridLayout::minimumSize() const {
    return {0, 0};
}

void AdaptiveGridLayout::setGeometry(const QRect &rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int AdaptiveGridLayout::arrange(const QRect &rect, bool apply) const {
    const int columns = columnCountForWidth(rect.width());
    const qreal columnWidth =
        std::max<qreal>(1, (rect.width() - (columns - 1) * m_columnSpacing) / qreal(columns));
    int y = rect.y();
    int rowCount = 0;
    for (qsizetype rowStart = 0; rowStart < m_items.size(); rowStart += columns) {
        const qsizetype rowEnd = std::min<qsizetype>(rowStart + columns, m_items.size());
        int rowHeight = 0;
        for (qsizetype index = rowStart; index < rowEnd; ++index) {
            QLayoutItem *item = m_items[index];
            const int height = item->hasHeightForWidth() ? item->heightForWidth(int(columnWidth))
                                                         : item->sizeHint().height();
            rowHeight = std::max(rowHeight, height);
        }
        if (rowCount > 0)
            y += m_rowSpacing;
        if (apply) {
            // Each cell keeps its own height, centred in its row.
            for (qsizetype index = rowStart; index < rowEnd; ++index) {
                QLayoutItem *item = m_items[index];
                const int height = item->hasHeightForWidth()
                                       ? item->heightForWidth(int(columnWidth))
                                       : item->sizeHint().height();
                const int column = int(index - rowStart);
                const int x = rect.x() + int(std::round(column * (columnWidth + m_columnSpacing)));
                item->setGeometry(QRect(x, y + (rowHeight - height) / 2, int(columnWidth), height));
            }
        }
        y += rowHeight;
        ++rowCount;
    }
    return y - rect.y();
}

} // namespace tovalit
