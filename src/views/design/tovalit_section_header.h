#pragma once

#include <QWidget>

namespace tovalit {

class TovalitTextLabel;

// A section title at the leading edge of a page.
class TovalitSectionHeader : public QWidget {
    Q_OBJECT
public:
    explicit TovalitSectionHeader(const QString &title, QWidget *parent = nullptr);

    QString title() const;

private:
    TovalitTextLabel *m_title;
};

} // namespace tovalit
