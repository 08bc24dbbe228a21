#pragma once

#include <QWidget>

namespace tovalit {

class TovalitTextLabel;

// One figure of an overview card: a caption above a bold value in the
// brand colour. Columns in a row share its width equally.
class TovalitSummaryColumn : public QWidget {
    Q_OBJECT
public:
    TovalitSummaryColumn(const QString &title, const QString &value, QWidget *parent = nullptr);

    QString title() const;
    QString value() const;
    void setValue(const QString &value);

private:
    TovalitTextLabel *m_title;
    TovalitTextLabel *m_value;
};

} // namespace tovalit
