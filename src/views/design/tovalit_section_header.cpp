#include "views/design/tovalit_section_header.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"

#include <QHBoxLayout>

namespace tovalit {

TovalitSectionHeader::TovalitSectionHeader(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_title(new TovalitTextLabel(title, TovalitTextStyle::headline(), TovalitPalette::primary(),
                                   this)) {
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 4, 2, 0);
    row->addWidget(m_title);
    row->addStretch(1);
}

QString TovalitSectionHeader::title() const {
    return m_title->text();
}

} // namespace tovalit
