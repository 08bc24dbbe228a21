#pragma once

#include <QColor>
#include <QPushButton>

#include <optional>

namespace tovalit {

// A push button in one of the two button styles the pages use: bordered
// (a light pill with a hairline) or bordered prominent (filled with the
// brand colour). A tint recolours a bordered button (red for destructive
// actions).
class TovalitButton : public QPushButton {
    Q_OBJECT
public:
    enum class Style { bordered, borderedProminent };

    TovalitButton(const QString &title, Style style, QWidget *parent = nullptr);

    Style buttonStyle() const { return m_style; }
    void setTint(std::optional<QColor> tint);
    const std::optional<QColor> &tint() const { return m_tint; }

private:
    void applyStyleSheet();

    Style m_style;
    std::optional<QColor> m_tint;
};

} // namespace tovalit
