#include "views/design/tovalit_summary_column.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"

#include <QVBoxLayout>

namespace tovalit {

TovalitSummaryColumn::TovalitSummaryColumn(const QString &title, const QString &value,
                                           QWidget *parent)
    : QWidget(parent)
    , m_title(new TovalitTextLabel(title, TovalitTextStyle::caption(), TovalitPalette::secondary(),
                                   this))
    , m_value(new TovalitTextLabel(value, TovalitTextStyle::headline(),
                                   TovalitPalette::brandStrong(), this)) {
    m_title->setWraps(false);
    m_value->setWraps(false);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(m_title);
    column->addWidget(m_value);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString TovalitSummaryColumn::title() const {
    return m_title->text();
}

QString TovalitSummaryColumn::value() const {
    return m_value->text();
}

void TovalitSummaryColumn::setValue(const QString &value) {
    m_value->setText(value);
}

} // namespace tovalit
