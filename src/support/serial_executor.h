#pragma once

#include <QFuture>
#include <QPromise>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class QThreadPool;

namespace tovalit {

// The executor of an actor (a store or a logger): work runs on one
// background thread, one item at a time, in the order it was submitted, and
// the awaiting coroutine resumes on its own thread with the result or the
// exception. Destroying the executor waits for the work already submitted,
// so an actor declares its executor last and its work never outlives it.
class SerialExecutor {
public:
    explicit SerialExecutor(const QString &name);
    ~SerialExecutor();
    SerialExecutor(const SerialExecutor &) = delete;
    SerialExecutor &operator=(const SerialExecutor &) = delete;

    template <typename Work>
    QCoro::Task<std::invoke_result_t<Work &>> run(Work work);

private:
    void submit(std::function<void()> job);

    std::unique_ptr<QThreadPool> m_pool;
};

template <typename Work>
QCoro::Task<std::invoke_result_t<Work &>> SerialExecutor::run(Work work) {
    using Result = std::invoke_result_t<Work &>;
    struct Outcome {
        std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> value{};
        std::exception_ptr error;
        QPromise<void> done;
    };
    auto outcome = std::make_shared<Outcome>();
    outcome->done.start();
    const QFuture<void> finished = outcome->done.future();
    auto job = std::make_shared<Work>(std::move(work));
    submit([outcome, job] {
        try {
            if constexpr (std::is_void_v<Result>)
                (*job)();
            else
                outcome->value.emplace((*job)());
        } catch (...) {
            outcome->error = std::current_exception();
        }
        outcome->done.finish();
    });
    co_await finished;
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<Result>)
        co_return std::move(*outcome->value);
}

} // namespace tovalit
