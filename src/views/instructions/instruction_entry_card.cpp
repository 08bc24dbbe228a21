#include "views/instructions/instruction_entry_card.h"

#include "views/design/tovalit_badge.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_disclosure_group.h"
#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_menu_button.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_selectable_text.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QFontInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovalit {

namespace {

TovalitBadge *sourceBadge(InstructionLibraryEntrySource source, QWidget *parent) {
    return new TovalitBadge(displayName(source),
                            source == InstructionLibraryEntrySource::builtin
                                ? TovalitBadgeTone::brand
                                : TovalitBadgeTone::neutral,
                            parent);
}

TovalitBadge *categoryBadge(InstructionLibraryCategory category, QWidget *parent) {
    return new TovalitBadge(displayName(category), TovalitBadgeTone::neutral, parent);
}

TovalitBadge *disabledBadge(QWidget *parent) {
    return new TovalitBadge(QStringLiteral("已停用"), TovalitBadgeTone::neutral, parent);
}

} // namespace

InstructionEntryCard::InstructionEntryCard(const InstructionLibraryEntry &entry,
                                           bool promptExpanded, QWidget *parent)
    : TovalitEntryCard(parent)
    , m_entry(entry)
    , m_title(new TovalitSelectableText(entry.title, titleFont(), TovalitPalette::primary(), this))
    , m_summary(new TovalitTextLabel(entry.summary, TovalitTokens::FontStyle::body(),
                                     TovalitPalette::secondary(), this))
    , m_hint(new TovalitTextLabel(entry.invocationHint, TovalitTokens::FontStyle::bodyStrong(),
                                  withOpacity(TovalitPalette::primary(), 0.88), this))
    , m_prompt(new TovalitSelectableText(entry.promptTemplate, TovalitTextStyle::footnote(),
                                         TovalitPalette::primary()))
    , m_disclosure(nullptr)
    , m_origin(nullptr)
    , m_copyButton(
          new TovalitButton(QStringLiteral("复制触发句"), TovalitButton::Style::bordered, this)) {
    using namespace TovalitTokens;
    const bool isCustom = entry.source == InstructionLibraryEntrySource::custom;
    setObjectName(QStringLiteral("InstructionEntryCard"));
    m_title->setObjectName(QStringLiteral("InstructionEntryTitle"));
    m_copyButton->setObjectName(QStringLiteral("InstructionCopyTriggerButton"));

    QList<TovalitBadge *> badges{sourceBadge(entry.source, this),
                                 categoryBadge(entry.category, this)};
    if (!entry.enabled)
        badges << disabledBadge(this);
    QVBoxLayout *heading = addHeading(badges, m_title, isCustom, entry.enabled);
    heading->addWidget(m_summary);
    if (TovalitMenuButton *menu = menuButton())
        menu->setObjectName(QStringLiteral("InstructionEntryMenuButton"));
    QVBoxLayout *column = this->column();

    // How to speak it.
    auto *hint = new QHBoxLayout;
    hint->setSpacing(8);
    hint->addWidget(new TovalitSymbolView(QStringLiteral("waveform.and.mic"),
                                          QFontInfo(FontStyle::captionStrong()).pixelSize(),
                                          TovalitPalette::brandStrong(), this),
                    0, Qt::AlignVCenter);
    hint->addWidget(m_hint, 1, Qt::AlignVCenter);
    column->addLayout(hint);

    const QStringList phrases = entry.displayInvocationPhrases();
    if (!phrases.isEmpty()) {
        m_example =
            new TovalitTextLabel(QStringLiteral("例如：") + phrases.first(),
                                 TovalitTextStyle::caption(), TovalitPalette::secondary(), this);
        m_example->setObjectName(QStringLiteral("InstructionEntryExample"));
        column->addWidget(m_example);
    }

    auto *promptBox = new QWidget;
    auto *promptPadding = new QVBoxLayout(promptBox);
    promptPadding->setContentsMargins(0, 6, 0, 0);
    promptPadding->addWidget(m_prompt);
    m_disclosure = new TovalitDisclosureGroup(QStringLiteral("查看 Prompt"), promptBox, this);
    m_disclosure->setObjectName(QStringLiteral("InstructionPromptDisclosure"));
    m_disclosure->setExpanded(promptExpanded);
    connect(m_disclosure, &TovalitDisclosureGroup::expandedChanged, this,
            &InstructionEntryCard::promptExpandedChanged);
    column->addWidget(m_disclosure);

    // Where it comes from, and the copy button.
    auto *footer = new QHBoxLayout;
    footer->setSpacing(12);
    auto *origin = new QHBoxLayout;
    origin->setSpacing(4);
    const QFont captionFont = TovalitTextStyle::caption();
    origin->addWidget(new TovalitSymbolView(isCustom ? QStringLiteral("square.and.pencil")
                                                     : QStringLiteral("shippingbox.fill"),
                                            QFontInfo(captionFont).pixelSize(),
                                            TovalitPalette::secondary(), this),
                      0, Qt::AlignVCenter);
    m_origin =
        new TovalitTextLabel(isCustom ? QStringLiteral("本地维护") : QStringLiteral("系统内置"),
                             captionFont, TovalitPalette::secondary(), this);
    m_origin->setWraps(false);
    origin->addWidget(m_origin, 0, Qt::AlignVCenter);
    footer->addLayout(origin);
    footer->addStretch(1);
    footer->addWidget(m_copyButton, 0, Qt::AlignVCenter);
    column->addLayout(footer);

    connect(m_copyButton, &QPushButton::clicked, this, &InstructionEntryCard::copyTriggerClicked);
}

} // namespace tovalit
