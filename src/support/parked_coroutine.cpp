#include "support/parked_coroutine.h"

#include <mutex>
#include <vector>

namespace tovalit {

void parkForever(std::coroutine_handle<> coroutine) {
    static std::mutex mutex;
    // Never freed: the frames must stay reachable to the end.
    static auto *parked = new std::vector<std::coroutine_handle<>>();
    const std::lock_guard lock(mutex);
    parked->push_back(coroutine);
}

} // namespace tovalit
