#pragma once

#include <QPointer>
#include <QWidget>

namespace tovalit {

class TovalitWindowBackground;

// The application's one main window: the frosted backdrop and, in front of
// it, whatever the application shows (the onboarding or the client
// window). Its identity (object name "main-window", title "Tovalit") is
// what the shell and the status-bar menu find it by; it cannot be made
// smaller than 980 by 680.
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    // Takes `content`; the previous content goes once control returns to
    // the event loop (it may be the one asking for the change).
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    static constexpr int minimumContentWidth = 980;
    static constexpr int minimumContentHeight = 680;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    TovalitWindowBackground *m_background;
    QPointer<QWidget> m_content;
};

} // namespace tovalit
