#pragma once

#include <QLayout>
#include <QList>

namespace tovalit {

// A grid that fits as many columns of at least `minimumColumnWidth` as the
// width allows (at least one), shares the width evenly among them and
// fills rows in order; each row is as tall as its tallest item for the
// column width.
class AdaptiveGridLayout : public QLayout {
    Q_OBJECT
public:
    AdaptiveGridLayout(qreal minimumColumnWidth, int columnSpacing, int rowSpacing,
                       QWidget *parent = nullptr);
    ~AdaptiveGridLayout() override;

    int columnCountForWidth(int width) const;

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    int arrange(const QRect &rect, bool apply) const;

    qreal m_minimumColumnWidth;
    int m_columnSpacing;
    int m_rowSpacing;
    QList<QLayoutItem *> m_items;
};

} // namespace tovalit
