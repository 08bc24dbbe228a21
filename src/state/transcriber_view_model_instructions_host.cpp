// The controller's side of the instruction library: its public calls go to
// the keeper, which reaches back only through InstructionLibraryKeeperHost.

#include "state/instructions/instruction_library_keeper.h"
#include "state/transcriber_view_model.h"

namespace tovalit {

QList<InstructionLibraryEntry> TranscriberViewModel::allInstructionLibraryEntries() const {
    return m_instructionLibrary->allEntries();
}

void TranscriberViewModel::saveManualInstructionEntry(std::optional<QUuid> id, const QString &title,
                                                      const QString &summary,
                                                      const QString &promptTemplate,
                                                      InstructionLibraryCategory category,
                                                      bool enabled, qint64 maxTokens,
                                                      std::optional<QDateTime> createdAt) {
    m_instructionLibrary->saveManualEntry(id, title, summary, promptTemplate, category, enabled,
                                          maxTokens, createdAt);
}

void TranscriberViewModel::toggleInstructionEntry(const InstructionLibraryEntry &entry) {
    m_instructionLibrary->toggleEntry(entry);
}

void TranscriberViewModel::deleteInstructionEntry(const InstructionLibraryEntry &entry) {
    m_instructionLibrary->deleteEntry(entry);
}

QList<InstructionLibraryEntry> TranscriberViewModel::sortedInstructionLibraryEntries(
    const QList<InstructionLibraryEntry> &entries) {
    return InstructionLibraryKeeper::sortedEntries(entries);
}

InstructionLibraryEntry TranscriberViewModel::fallbackInstructionDraft(const QString &description,
                                                                       const QDateTime &now) {
    return InstructionLibraryKeeper::fallbackDraft(description, now);
}

InstructionLibraryCategory TranscriberViewModel::fallbackInstructionCategory(const QString &text) {
    return InstructionLibraryKeeper::fallbackCategory(text);
}

} // namespace tovalit
