#pragma once

#include "models/app_toast_state.h"
#include "views/design/tovalit_glass_surface.h"

namespace tovalit {

class TovalitSymbolView;
class TovalitTextLabel;

// The toast drawn over the top of the main window's page: a confirmation
// or error symbol and the message, on at most three lines, between 220 and
// 360 points wide. It takes no clicks: they reach the page underneath.
class ClientWindowToastView : public TovalitGlassSurface {
    Q_OBJECT

public:
    explicit ClientWindowToastView(const AppToastState &toast, QWidget *parent = nullptr);

    const AppToastState &toast() const { return m_toast; }
    // Shows another toast in place.
    void setToast(const AppToastState &toast);

    TovalitSymbolView *symbol() const { return m_symbol; }
    TovalitTextLabel *messageLabel() const { return m_message; }

    // The width the toast takes in a column `available` wide.
    static int widthFor(int available);

private:
    AppToastState m_toast;
    TovalitSymbolView *m_symbol;
    TovalitTextLabel *m_message;
};

} // namespace tovalit
