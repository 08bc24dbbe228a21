#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QAction;

namespace tovalit {

class TovalitMenuButton;
class TovalitWindowBackground;

// The application's one main window: the frosted backdrop and, in front of
// it, whatever the application shows (the onboarding or the client
// window). Its identity (object name "main-window", title "Tovalit") is
// what the shell and the status-bar menu find it by; it cannot be made
// smaller than 980 by 680. Where the desktop shows no status icon, a menu
// button at the top right holds the status menu's items.
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    // Takes `content`; the previous content goes once control returns to
    // the event loop (it may be the one asking for the change).
    // `statusMenuPlace`, a widget of the content with a box layout, is where
    // the status menu button goes; without one it gets a strip of its own
    // above the content.
    void setContent(QWidget *content, QWidget *statusMenuPlace = nullptr);
    QWidget *content() const { return m_content; }

    // The status menu's items (not copies: they keep their titles and
    // states); none takes the button away.
    void setStatusMenuItems(const QList<QAction *> &items);
    // Null while the window offers no status menu.
    TovalitMenuButton *statusMenuButton() const;

    static constexpr int minimumContentWidth = 980;
    static constexpr int minimumContentHeight = 680;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Puts the button where it belongs and shows what it needs.
    void placeStatusMenuButton();

    TovalitWindowBackground *m_background;
    QPointer<QWidget> m_content;
    QWidget *m_statusMenuStrip;
    TovalitMenuButton *m_statusMenuButton;
    QPointer<QWidget> m_statusMenuPlace;
};

} // namespace tovalit
