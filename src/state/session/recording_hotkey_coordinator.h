#pragma once

#include "models/recording_state.h"

namespace tovalit {

// What one press of the recording shortcut does.
enum class HotkeyAction { ignore, start, stop };

// The pure decision behind every press.
namespace HotkeyActionResolver {

enum class Phase { idle, awaitingPermission, recording, processing };

struct State {
    Phase phase = Phase::idle;
    // The recording is old enough to be stopped by a press.
    bool canStopTapSession = true;
};

Phase phaseFor(const RecordingState &recordingState);
HotkeyAction resolveTranscriptionToggle(const State &state);

} // namespace HotkeyActionResolver

// Turns a press into start, stop or nothing: a press starts from idle or
// after a failure, stops a recording once it may be stopped, and is ignored
// while a start or a stop is still under way.
class RecordingHotkeyCoordinator {
public:
    HotkeyAction handleTrigger(const RecordingState &recordingState, bool canStopTapSession) const;
};

} // namespace tovalit
