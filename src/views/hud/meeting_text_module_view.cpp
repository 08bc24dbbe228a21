#include "views/hud/meeting_text_module_view.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/hud/meeting_text_styles.h"

#include <QVBoxLayout>

namespace tovalit {

MeetingTextModuleView::MeetingTextModuleView(const MeetingTextModule &module,
                                             MeetingStageAccent accent, QWidget *parent)
    : RoundedBox(16, MeetingStageAccents::fill(accent),
                 withOpacity(MeetingStageAccents::line(accent), 0.75), parent) {
    setObjectName(QStringLiteral("MeetingTextModuleView"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);
    const QColor tint = MeetingStageAccents::tint(accent);
    RoundedBox *title = MeetingTextStyles::pill(module.title, tovalitFont(11, QFont::DemiBold),
                                                tint, withOpacity(tint, 0.14), 10, 5, -1, this);
    title->setObjectName(QStringLiteral("textModuleTitle"));
    column->addWidget(title, 0, Qt::AlignLeft);
    TovalitTextLabel *body =
        MeetingTextStyles::text(module.body, tovalitFont(12.5, QFont::Medium),
                                withOpacity(TovalitPalette::primary(), 0.88), this);
    body->setLineSpacing(3);
    body->setObjectName(QStringLiteral("textModuleBody"));
    column->addWidget(body);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

} // namespace tovalit
