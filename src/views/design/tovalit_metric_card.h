#pragma once

#include "views/design/tovalit_glass_surface.h"

#include <QColor>

namespace tovalit {

class TovalitTextLabel;

// A figure with its title and a line of detail, on a card of fixed height:
// long texts are cut, the card never grows.
class TovalitMetricCard : public TovalitGlassSurface {
    Q_OBJECT
public:
    TovalitMetricCard(const QString &title, const QString &value, const QString &detail,
                      const QColor &tint, QWidget *parent = nullptr);

    void setValues(const QString &title, const QString &value, const QString &detail,
                   const QColor &tint);

    TovalitTextLabel *titleLabel() const { return m_title; }
    TovalitTextLabel *valueLabel() const { return m_value; }
    TovalitTextLabel *detailLabel() const { return m_detail; }

private:
    TovalitTextLabel *m_title;
    TovalitTextLabel *m_value;
    TovalitTextLabel *m_detail;
};

} // namespace tovalit
