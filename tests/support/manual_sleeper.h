#pragma once

#include "support/cancel_token.h"
#include "support/sleeper.h"

#include <QFuture>
#include <QPromise>
#include <qcoro/qcorofuture.h>

#include <memory>
#include <vector>

namespace tovalit::testing {

// Sleeps that end only when the test says so, or when their token is
// cancelled: every timed wait of the code under test becomes a step the
// test takes.
class ManualSleeper {
public:
    struct Sleep {
        double seconds = 0;
        CancelToken token;
        std::shared_ptr<QPromise<void>> promise;
        std::shared_ptr<CancelSubscription> subscription;

        bool isPending() const { return !promise->future().isFinished(); }
        bool wasCancelled() const { return token.isCancelled(); }
    };

    Sleeper sleeper() {
        return [sleeps = m_sleeps](double seconds, CancelToken token) -> QCoro::Task<void> {
            auto promise = std::make_shared<QPromise<void>>();
            promise->start();
            QFuture<void> future = promise->future();
            auto subscription =
                std::make_shared<CancelSubscription>(token.onCancel([promise] { end(*promise); }));
            sleeps->push_back({seconds, token, promise, subscription});
            return wait(future);
        };
    }

    std::size_t count() const { return m_sleeps->size(); }
    const Sleep &at(std::size_t index) const { return m_sleeps->at(index); }
    const Sleep &last() const { return m_sleeps->back(); }
    // Ends the sleep as if its time had passed.
    void wake(std::size_t index) { end(*m_sleeps->at(index).promise); }
    void wakeLast() { wake(m_sleeps->size() - 1); }

private:
    static QCoro::Task<void> wait(QFuture<void> future) { co_await future; }
    static void end(QPromise<void> &promise) {
        if (!promise.future().isFinished())
            promise.finish();
    }

    std::shared_ptr<std::vector<Sleep>> m_sleeps = std::make_shared<std::vector<Sleep>>();
};

} // namespace tovalit::testing
