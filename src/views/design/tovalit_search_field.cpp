#include "views/design/tovalit_search_field.h"

#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_symbol.h"
#include "views/design/tovalit_tokens.h"

#include <QAction>
#include <QIcon>

namespace tovalit {

TovalitSearchField::TovalitSearchField(const QString &prompt, QWidget *parent)
    : QLineEdit(parent) {
    setPlaceholderText(prompt);
    setAccessibleName(prompt);
    setClearButtonEnabled(true);
    setFont(TovalitTokens::FontStyle::body());
    setMinimumWidth(220);
    setMaximumWidth(280);
    QIcon glass;
    for (qreal ratio : {1.0, 2.0})
        glass.addPixmap(TovalitSymbol::pixmap(QStringLiteral("magnifyingglass"), 14,
                                              TovalitPalette::secondary(), ratio));
    addAction(glass, QLineEdit::LeadingPosition);
    setStyleSheet(QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 200);"
                                 " border: 1px solid rgba(0, 0, 0, 28); border-radius: 8px;"
                                 " padding: 4px 6px 4px 2px; }"
                                 "QLineEdit:focus { border: 1px solid %1; }")
                      .arg(TovalitPalette::brandStrong().name()));
}

} // namespace tovalit
