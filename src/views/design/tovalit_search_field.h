#pragma once

#include <QLineEdit>

namespace tovalit {

// The search field of a page's toolbar: a rounded field with the
// magnifying glass, a prompt and a clear button.
class TovalitSearchField : public QLineEdit {
    Q_OBJECT
public:
    explicit TovalitSearchField(const QString &prompt, QWidget *parent = nullptr);
};

} // namespace tovalit
