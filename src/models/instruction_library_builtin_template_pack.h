#pragma once

#include "models/instruction_library_entry.h"

#include <QList>

namespace tovalit {

// The built-in entries that ship with one version of the application. A
// stored library whose built-ins come from an older pack takes these.
struct InstructionLibraryBuiltinTemplatePack {
    qint64 version = 0;
    // All of source builtin, in catalogue order.
    QList<InstructionLibraryEntry> entries;

    bool operator==(const InstructionLibraryBuiltinTemplatePack &other) const = default;
};

} // namespace tovalit
