#include "support/gui_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace tovalit {

bool isGuiThread() {
    const auto *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void postToGuiThread(std::function<void()> function) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(function),
                              Qt::QueuedConnection);
}

void GuiThreadAwaiter::await_suspend(std::coroutine_handle<> handle) const {
    postToGuiThread([handle] { handle.resume(); });
}

} // namespace tovalit
