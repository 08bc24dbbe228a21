#include "support/clock.h"

#include <chrono>

namespace tovalit {

Clock systemClock() {
    return [] { return QDateTime::currentDateTimeUtc(); };
}

MonotonicClock systemMonotonicClock() {
    return [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
}

} // namespace tovalit
