#pragma once

#include <QDialog>

namespace tovalit {

class TovalitWindowBackground;

// A sheet over a window: a window-modal dialog of fixed size on the
// window's backdrop. The sheet never closes itself: Escape and the
// window's close button ask for a cancel, which the owner answers by
// closing it with done() or hide() (close() would ask again).
class TovalitSheet : public QDialog {
    Q_OBJECT
public:
    TovalitSheet(const QSize &size, QWidget *parent);

    // The owner's close: hidden at once, deleted once the event loop is
    // back (the request being answered may have come from inside it).
    void dismiss();

Q_SIGNALS:
    void cancelRequested();

public:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    TovalitWindowBackground *m_background;
};

} // namespace tovalit
