#include "views/hud/meeting_text_styles.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/rounded_box.h"

#include <QHBoxLayout>

namespace tovalit::MeetingTextStyles {

TovalitTextLabel *text(const QString &text, const QFont &font, const QColor &color, QWidget *parent,
                       Qt::Alignment alignment) {
    auto *label = new TovalitTextLabel(text, font, color, parent);
    label->setAlignment(alignment | Qt::AlignTop);
    return label;
}

TovalitTextLabel *moduleTitle(const QString &title, QWidget *parent) {
    return text(title, tovalitFont(13, QFont::DemiBold),
                withOpacity(TovalitPalette::primary(), 0.9), parent);
}

TovalitTextLabel *itemTitleA(const QString &title, QWidget *parent) {
    return text(title, tovalitFont(12, QFont::DemiBold),
                withOpacity(TovalitPalette::primary(), 0.88), parent);
}

TovalitTextLabel *itemTitleB(const QString &title, QWidget *parent) {
    return text(title, tovalitFont(12, QFont::DemiBold),
                withOpacity(TovalitPalette::primary(), 0.82), parent);
}

TovalitTextLabel *itemTitleC(const QString &title, QWidget *parent) {
    return text(title, tovalitFont(12.5, QFont::Bold), withOpacity(TovalitPalette::primary(), 0.9),
                parent);
}

TovalitTextLabel *itemTitleD(const QString &title, QWidget *parent) {
    return text(title, tovalitFont(12, QFont::Bold), withOpacity(TovalitPalette::primary(), 0.9),
                parent, Qt::AlignHCenter);
}

TovalitTextLabel *itemBody(const QString &body, QWidget *parent, bool centred) {
    if (body.isEmpty())
        return nullptr;
    auto *label =
        text(body, tovalitFont(11.5, QFont::Medium), withOpacity(TovalitPalette::secondary(), 0.92),
             parent, centred ? Qt::AlignHCenter : Qt::AlignLeft);
    label->setLineSpacing(2);
    label->setObjectName(QStringLiteral("itemBody"));
    return label;
}

RoundedBox *pill(const QString &text, const QFont &font, const QColor &textColor,
                 const QColor &fill, int horizontalPadding, int verticalPadding, qreal radius,
                 QWidget *parent) {
    auto *box = new RoundedBox(radius, fill, Qt::transparent, parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding, verticalPadding);
    row->setSpacing(0);
    auto *label = new TovalitTextLabel(text, font, textColor, box);
    row->addWidget(label);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    box->setSizePolicy(policy);
    return box;
}

} // namespace tovalit::MeetingTextStyles
