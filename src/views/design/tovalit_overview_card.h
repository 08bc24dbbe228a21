#pragma once

#include "views/design/tovalit_glass_surface.h"

#include <QList>

class QVBoxLayout;

namespace tovalit {

class TovalitSummaryColumn;

// The card at the top of a collection page: its figures side by side over
// a line that explains the page. Pages add their own rows below.
class TovalitOverviewCard : public TovalitGlassSurface {
    Q_OBJECT
public:
    TovalitOverviewCard(const QStringList &figureTitles, const QString &explanation,
                        QWidget *parent = nullptr);

    // In the order of the titles.
    TovalitSummaryColumn *figure(qsizetype index) const { return m_figures.at(index); }
    QVBoxLayout *column() const { return m_column; }

private:
    QList<TovalitSummaryColumn *> m_figures;
    QVBoxLayout *m_column;
};

} // namespace tovalit
