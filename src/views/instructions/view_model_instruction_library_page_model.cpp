#include "views/instructions/view_model_instruction_library_page_model.h"

#include "state/transcriber_view_model.h"

namespace tovalit {

ViewModelInstructionLibraryPageModel::ViewModelInstructionLibraryPageModel(
    TranscriberViewModel &viewModel)
    : m_viewModel(viewModel) {
    connect(&viewModel, &TranscriberViewModel::builtinInstructionLibraryEntriesChanged, this,
            &InstructionLibraryPageModel::instructionLibraryChanged);
    connect(&viewModel, &TranscriberViewModel::instructionLibraryEntriesChanged, this,
            &InstructionLibraryPageModel::instructionLibraryChanged);
}

QList<InstructionLibraryEntry>
ViewModelInstructionLibraryPageModel::builtinInstructionLibraryEntries() const {
    return m_viewModel.builtinInstructionLibraryEntries();
}

QList<InstructionLibraryEntry>
ViewModelInstructionLibraryPageModel::instructionLibraryEntries() const {
    return m_viewModel.instructionLibraryEntries();
}

void ViewModelInstructionLibraryPageModel::toggleInstructionEntry(
    const InstructionLibraryEntry &entry) {
    m_viewModel.toggleInstructionEntry(entry);
}

void ViewModelInstructionLibraryPageModel::deleteInstructionEntry(
    const InstructionLibraryEntry &entry) {
    m_viewModel.deleteInstructionEntry(entry);
}

void ViewModelInstructionLibraryPageModel::saveManualInstructionEntry(
    std::optional<QUuid> id, const QString &title, const QString &summary,
    const QString &promptTemplate, InstructionLibraryCategory category, bool enabled,
    qint64 maxTokens, std::optional<QDateTime> createdAt) {
    m_viewModel.saveManualInstructionEntry(std::move(id), title, summary, promptTemplate, category,
                                           enabled, maxTokens, std::move(createdAt));
}

void ViewModelInstructionLibraryPageModel::copyTranscript(const QString &text) {
    m_viewModel.copyTranscript(text);
}

} // namespace tovalit
