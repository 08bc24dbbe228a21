#pragma once

#include <QWidget>

class QToolButton;

namespace tovalit {

// A label with a chevron that folds its content in and out.
class TovalitDisclosureGroup : public QWidget {
    Q_OBJECT
public:
    TovalitDisclosureGroup(const QString &label, QWidget *content, QWidget *parent = nullptr);

    bool isExpanded() const { return m_expanded; }
    // Does not notify.
    void setExpanded(bool expanded);
    QToolButton *toggle() const { return m_toggle; }
    QWidget *content() const { return m_content; }

Q_SIGNALS:
    // Only on a click of the user.
    void expandedChanged(bool expanded);

private:
    void refresh();

    QToolButton *m_toggle;
    QWidget *m_content;
    bool m_expanded = false;
};

} // namespace tovalit
