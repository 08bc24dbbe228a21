#include "support/parked_coroutine.h"

#include <mutex>
#include <vector>

namespace tovalit {

namespace {

std::mutex mutex;
// Never freed: the frames must stay reachable to the end.
auto *const parked = new std::vector<std::coroutine_handle<>>();

} // namespace

void parkForever(std::coroutine_handle<> coroutine) {
    const std::lock_guard lock(mutex);
    parked->push_back(coroutine);
}

int parkedCoroutineCount() {
    const std::lock_guard lock(mutex);
    return int(parked->size());
}

} // namespace tovalit
