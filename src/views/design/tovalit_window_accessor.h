#pragma once

#include <QWidget>

#include <functional>

namespace tovalit {

// An invisible widget that hands the window it ends up in to `onResolve`,
// one turn of the event loop after it is shown or moved into another
// window, so the receiver sees the window fully set up. Receivers must
// accept repeated calls.
class TovalitWindowAccessor : public QWidget {
    Q_OBJECT
public:
    explicit TovalitWindowAccessor(std::function<void(QWidget *window)> onResolve,
                                   QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;

private:
    void scheduleResolve();

    std::function<void(QWidget *)> m_onResolve;
};

} // namespace tovalit
