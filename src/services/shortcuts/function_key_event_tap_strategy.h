#pragma once

#include "platform/function_key_source.h"
#include "services/shortcuts/function_key_press_tracker.h"

#include <optional>

namespace tovalit {

// The fixed choices of the Fn key's tap.
namespace FunctionKeyEventTapStrategy {

// At the head of the hardware-level stream, allowed to drop events, with
// both input monitoring and accessibility required.
FunctionKeyEventTapConfiguration configuration();
// Every flag change of the Fn key is dropped, so that the system's own Fn
// action never runs; everything else passes.
FunctionKeyEventDisposition disposition(KeyboardTapEvent::Type type, quint16 keyCode,
                                        FunctionKeyEventHandling handling);
std::optional<KeyboardTapEvent> forwardedEvent(FunctionKeyEventDisposition disposition,
                                               const KeyboardTapEvent &original);

} // namespace FunctionKeyEventTapStrategy

} // namespace tovalit
