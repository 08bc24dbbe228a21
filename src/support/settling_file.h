#pragma once

#include "support/sleeper.h"

#include <qcoro/qcorotask.h>

#include <array>
#include <functional>
#include <optional>

// A file another program may be half-way through writing in place (a copy
// from a backup, an editor, a sync tool: each is done within moments) is
// read again after these waits before it is taken for damaged.
namespace tovalit::settlingfile {

// Seconds between one read and the next.
inline constexpr std::array<double, 4> shortWaits{0.5, 1.0, 2.0, 4.0};
// A file last modified longer ago than this has no writer still at it.
inline constexpr double writerAtWorkSeconds = 10.0;

// Runs `attempt` until it gives a value, with the short waits between the
// tries (it gives none while another program may still be at the file),
// then `last` once, whatever the file holds. Between the tries the file's
// owner is free for other calls.
template <typename Value>
QCoro::Task<Value> onceSettled(Sleeper sleeper,
                               std::function<QCoro::Task<std::optional<Value>>()> attempt,
                               std::function<QCoro::Task<Value>()> last) {
    for (const double wait : shortWaits) {
        std::optional<Value> value = co_await attempt();
        if (value)
            co_return std::move(*value);
        co_await sleeper(wait, CancelToken());
    }
    Value value = co_await last();
    co_return value;
}

} // namespace tovalit::settlingfile
