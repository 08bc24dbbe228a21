#pragma once

#include "services/permissions/remote_desktop_keyboard_access.h"

#include <QWidget>

namespace tovalit {

class TovalitBadge;
class TovalitButton;
class TovalitTextLabel;

// The keyboard the desktop lends in a Wayland session, as the
// accessibility step shows it: what it is for, the user's answer as a
// badge, and the button that asks the desktop (again, after a refusal).
// Where the desktop lends none, it says so instead. Follows the access's
// state for as long as both exist.
class RemoteDesktopKeyboardGrantView : public QWidget {
    Q_OBJECT
public:
    // `font` is that of the row's summary.
    RemoteDesktopKeyboardGrantView(RemoteDesktopKeyboardAccess &access, const QFont &font,
                                   QWidget *parent = nullptr);

private:
    void render(RemoteDesktopKeyboardAccess::State state);

    TovalitBadge *m_badge;
    TovalitTextLabel *m_explanation;
    TovalitButton *m_request;
};

} // namespace tovalit
