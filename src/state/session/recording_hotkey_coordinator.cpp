#include "state/session/recording_hotkey_coordinator.h"

namespace tovalit {

namespace HotkeyActionResolver {

Phase phaseFor(const RecordingState &recordingState) {
    switch (recordingState.kind()) {
    case RecordingState::Case::idle:
    case RecordingState::Case::failed:
        return Phase::idle;
    case RecordingState::Case::requestingPermission:
        return Phase::awaitingPermission;
    case RecordingState::Case::recording:
        return Phase::recording;
    case RecordingState::Case::thinking:
    case RecordingState::Case::inserting:
        return Phase::processing;
    }
    return Phase::processing;
}

HotkeyAction resolveTranscriptionToggle(const State &state) {
    switch (state.phase) {
    case Phase::idle:
        return HotkeyAction::start;
    case Phase::recording:
        return state.canStopTapSession ? HotkeyAction::stop : HotkeyAction::ignore;
    case Phase::awaitingPermission:
    case Phase::processing:
        return HotkeyAction::ignore;
    }
    return HotkeyAction::ignore;
}

} // namespace HotkeyActionResolver

HotkeyAction RecordingHotkeyCoordinator::handleTrigger(const RecordingState &recordingState,
                                                       bool canStopTapSession) const {
    return HotkeyActionResolver::resolveTranscriptionToggle(
        {HotkeyActionResolver::phaseFor(recordingState), canStopTapSession});
}

} // namespace tovalit
