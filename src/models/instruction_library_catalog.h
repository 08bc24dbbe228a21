#pragma once

#include "models/instruction_library_builtin_template_pack.h"
#include "models/instruction_library_entry.h"
#include "models/instruction_library_snapshot.h"

#include <QDateTime>
#include <QList>

namespace tovalit {

// The fourteen instructions that ship with the application and the
// versioned pack they form. Their ids, texts and limits are stored in every
// library file and matched by speech, so they are behaviour, not copy.
class InstructionLibraryCatalog {
public:
    InstructionLibraryCatalog() = delete;

    // Raising it makes every stored library take the pack's built-ins on
    // its next load or save.
    static constexpr qint64 builtinTemplateVersion = 3;

    // Built on first use, shared and never changed; safe from any thread.
    static const InstructionLibraryBuiltinTemplatePack &defaultBuiltinTemplatePack();
    static const QList<InstructionLibraryEntry> &builtinEntries();

    // The pack's built-ins with the given custom entries.
    static InstructionLibrarySnapshot defaultSnapshot(QList<InstructionLibraryEntry> customEntries);

    // What the library lists: the built-ins as given, then the custom
    // entries latest update first, equal times by title in the order a
    // file browser uses.
    static QList<InstructionLibraryEntry>
    allEntries(const QList<InstructionLibraryEntry> &builtinEntries,
               QList<InstructionLibraryEntry> customEntries);

    // The creation and update time of every built-in: earlier than any
    // change a user can make.
    static QDateTime distantPast();
};

} // namespace tovalit
