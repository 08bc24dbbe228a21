#pragma once

#include <QFuture>
#include <QPromise>
#include <QThreadPool>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>

namespace tovalit {

// Runs blocking work (files, the sound server, decoding) on the global
// thread pool and resumes the awaiting coroutine on its own thread with
// the result, or with the work's own exception, unwrapped.
template <typename T>
QCoro::Task<T> runInBackground(std::function<T()> work) {
    auto promise = std::make_shared<QPromise<T>>();
    QFuture<T> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        try {
            if constexpr (std::is_void_v<T>) {
                work();
            } else {
                promise->addResult(work());
            }
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    if constexpr (std::is_void_v<T>) {
        co_await future;
    } else {
        co_return co_await future;
    }
}

} // namespace tovalit
