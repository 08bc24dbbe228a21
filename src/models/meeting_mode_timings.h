#pragma once

namespace tovalit {

// When a long recording is offered as a meeting and how often its summary
// tree grows. Seconds are fractional where a wait is computed from them.
struct MeetingModeTimings {
    double threshold = 60.0;
    int countdownSeconds = 10;
    double updateInterval = 30.0;

    // What the application runs with: offer after one minute, count down ten
    // seconds, summarise every thirty.
    static constexpr MeetingModeTimings defaultTimings() { return {60.0, 10, 30.0}; }

    bool operator==(const MeetingModeTimings &) const = default;
};

} // namespace tovalit
