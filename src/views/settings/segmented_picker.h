#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QButtonGroup;
class QPushButton;

namespace tovalit {

// A titled row of adjoining segments, one per option, at most one of them
// selected. A value that matches no option selects none.
class SegmentedPicker : public QWidget {
    Q_OBJECT

public:
    struct Option {
        QString label;
        QString value;
    };

    SegmentedPicker(const QString &title, QList<Option> options, QWidget *parent = nullptr);

    // Shows `value` as selected, without announcing it.
    void setValue(const QString &value);
    // The selected option's value; empty when none is.
    QString value() const;
    QPushButton *segment(int index) const;

Q_SIGNALS:
    // The user chose an option.
    void valueChosen(const QString &value);

private:
    QList<Option> m_options;
    QList<QPushButton *> m_segments;
};

} // namespace tovalit
