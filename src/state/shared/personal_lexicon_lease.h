#pragma once

#include "support/async_mutex.h"

#include <memory>

namespace tovalit {

// Holding one makes a change of the lexicon the only one under way: it is
// worked out from the published lexicon, saved and published before the
// next one reads it. Never held across a cloud sync. The lexicon hands it
// out; learning from edits holds one while it works out its change.
struct PersonalLexiconLease {
    // Declared first, so the guard releases a mutex that still exists.
    std::shared_ptr<AsyncMutex> mutex;
    AsyncMutex::Guard guard;
};

} // namespace tovalit
