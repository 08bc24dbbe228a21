#pragma once

#include "platform/pcm_buffer.h"

#include <QList>

// The recording capsule's five-bar meter: per buffer, the loudness of five
// equal stretches of channel 0, eased towards the previous bars.
namespace tovalit::AudioLevelMeter {

using Levels = QList<double>;

// Five bars at 0.14: a silent bar, the floor of every bar.
const Levels &idleLevels();

// One buffer's five unsmoothed bars; the idle bars for an empty buffer or
// a sample type the meter does not read (64-bit float among them).
Levels rawMeterLevels(const PcmBuffer &buffer);

// The bars after easing `current` towards `raw`, never below the floor.
Levels smoothed(const Levels &current, const Levels &raw);

} // namespace tovalit::AudioLevelMeter
