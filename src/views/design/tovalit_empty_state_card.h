#pragma once

#include "views/design/tovalit_glass_surface.h"

#include <functional>
#include <optional>

class QPushButton;

namespace tovalit {

// What a page shows when it has nothing to list: a symbol, a title, a
// description and, when both a title and an action are given, a button.
class TovalitEmptyStateCard : public TovalitGlassSurface {
    Q_OBJECT
public:
    TovalitEmptyStateCard(const QString &title, const QString &systemImage,
                          const QString &description, std::optional<QString> actionTitle = {},
                          std::function<void()> action = {}, QWidget *parent = nullptr);

    // Null when the card has no button.
    QPushButton *actionButton() const { return m_button; }

private:
    QPushButton *m_button = nullptr;
};

} // namespace tovalit
