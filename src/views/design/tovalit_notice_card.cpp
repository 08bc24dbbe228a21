#include "views/design/tovalit_notice_card.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>

namespace tovalit {

TovalitNoticeCard::TovalitNoticeCard(const QString &message, const QString &systemImage,
                                     TovalitBadgeTone tone, QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::card(), parent)
    , m_symbol(new TovalitSymbolView(systemImage, 11, foregroundColor(tone), this))
    , m_message(new TovalitTextLabel(message, TovalitTextStyle::footnote(),
                                     TovalitPalette::secondary(), this)) {
    using namespace TovalitTokens;
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(int(Spacing::md), int(Spacing::md), int(Spacing::md), int(Spacing::md));
    row->setSpacing(int(Spacing::xs));
    row->addWidget(m_symbol, 0, Qt::AlignTop);
    row->addWidget(m_message, 0, Qt::AlignTop);
    row->addStretch(1);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void TovalitNoticeCard::setNotice(const QString &message, const QString &systemImage,
                                  TovalitBadgeTone tone) {
    m_message->setText(message);
    m_symbol->setSymbol(systemImage, foregroundColor(tone));
}

} // namespace tovalit
