#pragma once

#include "views/instructions/instruction_library_page_model.h"

namespace tovalit {

class TranscriberViewModel;

// The instruction library page's model over the application's view model:
// its published lists and its operations, unchanged.
class ViewModelInstructionLibraryPageModel final : public InstructionLibraryPageModel {
    Q_OBJECT
public:
    // `viewModel` must outlive this object.
    explicit ViewModelInstructionLibraryPageModel(TranscriberViewModel &viewModel);

    QList<InstructionLibraryEntry> builtinInstructionLibraryEntries() const override;
    QList<InstructionLibraryEntry> instructionLibraryEntries() const override;
    void toggleInstructionEntry(const InstructionLibraryEntry &entry) override;
    void deleteInstructionEntry(const InstructionLibraryEntry &entry) override;
    void saveManualInstructionEntry(std::optional<QUuid> id, const QString &title,
                                    const QString &summary, const QString &promptTemplate,
                                    InstructionLibraryCategory category, bool enabled,
                                    qint64 maxTokens, std::optional<QDateTime> createdAt) override;
    void copyTranscript(const QString &text) override;

private:
    TranscriberViewModel &m_viewModel;
};

} // namespace tovalit
