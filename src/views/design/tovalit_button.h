#pragma once

#include <QPushButton>

namespace tovalit {

// A push button in one of the two button styles the pages use: bordered
// (a light pill with a hairline) or bordered prominent (filled with the
// brand colour).
class TovalitButton : public QPushButton {
    Q_OBJECT
public:
    enum class Style { bordered, borderedProminent };

    TovalitButton(const QString &title, Style style, QWidget *parent = nullptr);

    Style buttonStyle() const { return m_style; }

private:
    Style m_style;
};

} // namespace tovalit
