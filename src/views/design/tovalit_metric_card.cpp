#include "views/design/tovalit_metric_card.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QVBoxLayout>

namespace tovalit {

TovalitMetricCard::TovalitMetricCard(const QString &title, const QString &value,
                                     const QString &detail, const QColor &tint, QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::card(), parent)
    , m_title(new TovalitTextLabel(title, TovalitTextStyle::headline(), TovalitPalette::primary(),
                                   this))
    , m_value(new TovalitTextLabel(value, tovalitFont(15, QFont::DemiBold), tint, this))
    , m_detail(new TovalitTextLabel(detail, TovalitTextStyle::caption(),
                                    TovalitPalette::secondary(), this)) {
    using namespace TovalitTokens;
    m_title->setMaximumLineCount(1);
    m_value->setWraps(false);
    m_detail->setMaximumLineCount(3);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(int(Spacing::md), int(Spacing::md), int(Spacing::md),
                               int(Spacing::md));
    column->setSpacing(int(Spacing::xs));
    column->addWidget(m_title);
    column->addWidget(m_value);
    column->addWidget(m_detail);
    column->addStretch(1);
    setFixedHeight(int(Layout::metricCardHeight + 2 * Spacing::md));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TovalitMetricCard::setValues(const QString &title, const QString &value, const QString &detail,
                                  const QColor &tint) {
    m_title->setText(title);
    m_value->setText(value);
    m_value->setColor(tint);
    m_detail->setText(detail);
}

} // namespace tovalit
