#include "views/design/tovalit_empty_state_card.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace tovalit {

TovalitEmptyStateCard::TovalitEmptyStateCard(const QString &title, const QString &systemImage,
                                             const QString &description,
                                             std::optional<QString> actionTitle,
                                             std::function<void()> action, QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::card(), parent) {
    setObjectName(QStringLiteral("TovalitEmptyStateCard"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(int(TovalitTokens::Spacing::md), 0, int(TovalitTokens::Spacing::md),
                              0);
    outer->addStretch(1);

    auto *column = new QVBoxLayout;
    column->setSpacing(8);
    auto *symbol = new TovalitSymbolView(systemImage, 28, TovalitPalette::secondary(), this);
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    auto *titleLabel =
        new TovalitTextLabel(title, TovalitTextStyle::headline(), TovalitPalette::primary(), this);
    titleLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    column->addWidget(titleLabel, 0, Qt::AlignHCenter);
    auto *descriptionLabel = new TovalitTextLabel(description, TovalitTextStyle::subheadline(),
                                                  TovalitPalette::secondary(), this);
    descriptionLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    column->addWidget(descriptionLabel);
    outer->addLayout(column);

    if (actionTitle && action) {
        m_button = new QPushButton(*actionTitle, this);
        m_button->setObjectName(QStringLiteral("TovalitEmptyStateCardAction"));
        m_button->setCursor(Qt::PointingHandCursor);
        m_button->setStyleSheet(
            QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                           " border-radius: 6px; padding: 5px 14px; }"
                           "QPushButton:pressed { background: %2; }")
                .arg(TovalitPalette::brandStrong().name(),
                     TovalitPalette::brandStrong().darker(115).name()));
        connect(m_button, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
        outer->addSpacing(int(TovalitTokens::Spacing::xs));
        outer->addWidget(m_button, 0, Qt::AlignHCenter);
    }
    outer->addStretch(1);
    setMinimumHeight(320);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

} // namespace tovalit
