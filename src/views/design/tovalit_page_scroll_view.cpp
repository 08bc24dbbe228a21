#include "views/design/tovalit_page_scroll_view.h"

#include "views/design/tovalit_tokens.h"

#include <QVBoxLayout>

namespace tovalit {

TovalitPageScrollView::TovalitPageScrollView(QWidget *parent)
    : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAutoFillBackground(false);

    auto *content = new QWidget;
    m_column = new QVBoxLayout(content);
    const int padding = int(TovalitTokens::Layout::pagePadding);
    m_column->setContentsMargins(padding, padding, padding, padding);
    m_column->setSpacing(int(TovalitTokens::Layout::contentSpacing));
    m_column->setAlignment(Qt::AlignTop);
    m_column->addStretch(1);
    setWidget(content);
    // setWidget() turns the content's background on; the window's backdrop
    // shows through instead.
    content->setAutoFillBackground(false);
}

void TovalitPageScrollView::addSection(QWidget *section) {
    // Sections go before the closing stretch that keeps them at the top.
    m_column->insertWidget(m_column->count() - 1, section);
}

} // namespace tovalit
