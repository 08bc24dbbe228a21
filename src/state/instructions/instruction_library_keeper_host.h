#pragma once

#include "models/instruction_library_entry.h"

#include <QList>
#include <QString>

#include <optional>

namespace tovalit {

// What the instruction library needs of the controller that publishes its
// lists and owns the shared surfaces. Called on the GUI thread only.
class InstructionLibraryKeeperHost {
public:
    virtual ~InstructionLibraryKeeperHost() = default;

    // The published lists are the library's state as every view reads it:
    // an edit starts from them and a save republishes what the store wrote.
    virtual QList<InstructionLibraryEntry> builtinInstructionLibraryEntries() const = 0;
    virtual QList<InstructionLibraryEntry> instructionLibraryEntries() const = 0;
    virtual void setBuiltinInstructionLibraryEntries(QList<InstructionLibraryEntry> value) = 0;
    virtual void setInstructionLibraryEntries(QList<InstructionLibraryEntry> value) = 0;

    // Every edit, load and save failure ends in a toast of the main window.
    virtual void showAppToast(const QString &message, bool isError, double duration) = 0;
    // Where a save kept a copy of the file, which the user must see even
    // when a toast comes with it.
    virtual void showAppNotice(const QString &message) = 0;
    // A voice-created instruction reports, once its undo window has passed,
    // whether it joined the library, in the dictation's result line.
    virtual void setLastResultMessage(std::optional<QString> value) = 0;
    // An instruction that cannot run falls back to the same rule-based
    // cleanup a dictation gets without a model.
    virtual QString cleanedOrTrimmed(const QString &trimmed) const = 0;
};

} // namespace tovalit
