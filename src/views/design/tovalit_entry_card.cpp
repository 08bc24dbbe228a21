#include "views/design/tovalit_entry_card.h"

#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

namespace tovalit {

TovalitEntryCard::TovalitEntryCard(QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::card(), parent)
    , m_column(new QVBoxLayout(this)) {
    using namespace TovalitTokens;
    const int padding = int(Spacing::md);
    m_column->setContentsMargins(padding, padding, padding, padding);
    m_column->setSpacing(int(Spacing::sm));

    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QFont TovalitEntryCard::titleFont() {
    QFont font = TovalitTextStyle::title3();
    font.setWeight(QFont::DemiBold);
    return font;
}

QStringList TovalitEntryCard::badgeTitles() const {
    QStringList titles;
    for (const TovalitBadge *badge : m_badges)
        titles << badge->title();
    return titles;
}

QVBoxLayout *TovalitEntryCard::addHeading(const QList<TovalitBadge *> &badges, QWidget *title,
                                          bool changeable, bool enabled) {
    using namespace TovalitTokens;
    auto *top = new QHBoxLayout;
    top->setSpacing(int(Spacing::sm));
    auto *heading = new QVBoxLayout;
    heading->setSpacing(int(Spacing::xs));
    auto *badgeRow = new QHBoxLayout;
    badgeRow->setSpacing(8);
    m_badges = badges;
    for (TovalitBadge *badge : badges)
        badgeRow->addWidget(badge, 0, Qt::AlignVCenter);
    badgeRow->addStretch(1);
    heading->addLayout(badgeRow);
    heading->addWidget(title);
    top->addLayout(heading, 1);
    top->addSpacing(12);
    if (changeable) {
        m_menuButton = new TovalitMenuButton(this);
        QMenu *menu = m_menuButton->itemMenu();
        menu->addAction(QStringLiteral("编辑"), this, &TovalitEntryCard::editClicked);
        menu->addAction(enabled ? QStringLiteral("停用") : QStringLiteral("启用"), this,
                        &TovalitEntryCard::toggleClicked);
        menu->addSeparator();
        menu->addAction(QStringLiteral("删除"), this, &TovalitEntryCard::deleteClicked);
        top->addWidget(m_menuButton, 0, Qt::AlignTop);
    }
    m_column->addLayout(top);
    return heading;
}

} // namespace tovalit
