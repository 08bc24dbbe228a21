#include "views/design/tovalit_page_layout.h"

#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QWidget>

namespace tovalit {

QVBoxLayout *makePageColumn(QWidget *page, std::initializer_list<QWidget *> toolbarItems) {
    using namespace TovalitTokens;
    const int padding = int(Layout::pagePadding);
    auto *toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(padding, int(Spacing::md), padding, 0);
    toolbar->setSpacing(int(Spacing::xs));
    toolbar->addStretch(1);
    for (QWidget *item : toolbarItems)
        toolbar->addWidget(item);

    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(toolbar);
    return column;
}

void clearLayoutLater(QLayout *layout) {
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
}

} // namespace tovalit
