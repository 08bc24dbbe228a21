#include "views/design/tovalit_overview_card.h"

#include "views/design/tovalit_fonts.h"
#include "views/design/tovalit_palette.h"
#include "views/design/tovalit_summary_column.h"
#include "views/design/tovalit_text_label.h"
#include "views/design/tovalit_tokens.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tovalit {

TovalitOverviewCard::TovalitOverviewCard(const QStringList &figureTitles,
                                         const QString &explanation, QWidget *parent)
    : TovalitGlassSurface(TovalitGlassLevel::prominentCard(), parent)
    , m_column(new QVBoxLayout(this)) {
    using namespace TovalitTokens;
    const int large = int(Spacing::lg);
    m_column->setContentsMargins(large, large, large, large);
    m_column->setSpacing(14);
    auto *figures = new QHBoxLayout;
    figures->setSpacing(large);
    for (const QString &title : figureTitles) {
        auto *figure = new TovalitSummaryColumn(title, QString(), this);
        m_figures << figure;
        figures->addWidget(figure, 1);
    }
    m_column->addLayout(figures);
    m_column->addWidget(
        new TovalitTextLabel(explanation, FontStyle::body(), TovalitPalette::secondary(), this));
}

} // namespace tovalit
