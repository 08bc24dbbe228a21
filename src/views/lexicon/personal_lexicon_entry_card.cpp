#include "views/lexicon/personal_lexicon_entry_card.h"

#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"
#include "views/lexicon/abbreviated_date_time.h"

#include <QFontInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovalit {

namespace {

TovalitBadgeTone syncTone(PersonalLexiconCloudSyncStatus status) {
    switch (status) {
    case PersonalLexiconCloudSyncStatus::pending:
        return TovalitBadgeTone::warning;
    case PersonalLexiconCloudSyncStatus::synced:
        return TovalitBadgeTone::success;
    case PersonalLexiconCloudSyncStatus::localOnly:
        return TovalitBadgeTone::neutral;
    case PersonalLexiconCloudSyncStatus::failed:
        return TovalitBadgeTone::danger;
    }
    return TovalitBadgeTone::neutral;
}

} // namespace

PersonalLexiconEntryCard::PersonalLexiconEntryCard(const PersonalLexiconEntry &entry,
                                                   QWidget *parent)
    : TovalitEntryCard(parent)
    , m_entry(entry)
    , m_displayText(new TovalitSelectableText(entry.displayText(), titleFont(),
                                              TovalitPalette::primary(), this))
    , m_updatedAt(new TovalitTextLabel(abbreviatedDateTime(entry.updatedAt),
                                       TovalitTextStyle::caption(), TovalitPalette::secondary(),
                                       this))
    , m_explanation(new TovalitTextLabel(explanation(entry), TovalitTextStyle::caption(),
                                         TovalitPalette::secondary(), this)) {
    using namespace TovalitTokens;
    setObjectName(QStringLiteral("PersonalLexiconEntryCard"));
    m_displayText->setObjectName(QStringLiteral("LexiconEntryText"));
    m_updatedAt->setWraps(false);

    QList<TovalitBadge *> badges{new TovalitBadge(displayName(entry.cloudSyncStatus),
                                                  syncTone(entry.cloudSyncStatus), this)};
    if (!entry.enabled)
        badges << new TovalitBadge(QStringLiteral("已停用"), TovalitBadgeTone::neutral, this);
    QVBoxLayout *heading = addHeading(badges, m_displayText, true, entry.enabled);
    menuButton()->setObjectName(QStringLiteral("LexiconEntryMenuButton"));

    auto *meta = new QHBoxLayout;
    meta->setSpacing(12);
    auto *updated = new QHBoxLayout;
    updated->setSpacing(4);
    const QFont caption = TovalitTextStyle::caption();
    updated->addWidget(new TovalitSymbolView(QStringLiteral("clock"),
                                             QFontInfo(caption).pixelSize(),
                                             TovalitPalette::secondary(), this),
                       0, Qt::AlignVCenter);
    updated->addWidget(m_updatedAt, 0, Qt::AlignVCenter);
    meta->addLayout(updated);
    if (entry.hitCount >= 2) {
        m_hitCount = new TovalitTextLabel(QStringLiteral("命中 ") + QString::number(entry.hitCount),
                                          caption, TovalitPalette::secondary(), this);
        m_hitCount->setWraps(false);
        meta->addWidget(m_hitCount, 0, Qt::AlignVCenter);
    }
    meta->addStretch(1);
    heading->addLayout(meta);

    column()->addWidget(m_explanation);
}

QString PersonalLexiconEntryCard::explanation(const PersonalLexiconEntry &entry) {
    if (entry.kind == PersonalLexiconEntryKind::replacement && entry.sourceText &&
        !entry.sourceText->isEmpty()) {
        return QStringLiteral("当识别成“") + *entry.sourceText +
               QStringLiteral("”时，会优先整理为“") + entry.targetText + QStringLiteral("”。");
    }
    return QStringLiteral("后续遇到这个词时，会优先保留这个写法。");
}

} // namespace tovalit
