#pragma once

#include <QUuid>

namespace tovalit {

// A fresh random (version 4) identifier for a stage, module or item of the
// meeting tree. Every rebuild of a block mints new ones for its parsed and
// summary nodes, hundreds per summary tick, and they only need to be unique,
// so they come from the process's seeded generator rather than the much
// slower system entropy source.
QUuid newMeetingNodeId();

} // namespace tovalit
