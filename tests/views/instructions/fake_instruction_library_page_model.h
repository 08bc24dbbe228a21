#pragma once

#include "views/instructions/instruction_library_page_model.h"

namespace tovalit::testing {

// Publishes what the test gives it and writes down every call.
class FakeInstructionLibraryPageModel final : public InstructionLibraryPageModel {
public:
    struct Save {
        std::optional<QUuid> id;
        QString title;
        QString summary;
        QString promptTemplate;
        InstructionLibraryCategory category;
        bool enabled;
        qint64 maxTokens;
        std::optional<QDateTime> createdAt;
    };

    void publish(QList<InstructionLibraryEntry> builtins, QList<InstructionLibraryEntry> customs) {
        m_builtins = std::move(builtins);
        m_customs = std::move(customs);
        Q_EMIT instructionLibraryChanged();
    }

    QList<InstructionLibraryEntry> builtinInstructionLibraryEntries() const override {
        return m_builtins;
    }
    QList<InstructionLibraryEntry> instructionLibraryEntries() const override { return m_customs; }
    void toggleInstructionEntry(const InstructionLibraryEntry &entry) override {
        toggled << entry.id();
    }
    void deleteInstructionEntry(const InstructionLibraryEntry &entry) override {
        deleted << entry.id();
    }
    void saveManualInstructionEntry(std::optional<QUuid> id, const QString &title,
                                    const QString &summary, const QString &promptTemplate,
                                    InstructionLibraryCategory category, bool enabled,
                                    qint64 maxTokens, std::optional<QDateTime> createdAt) override {
        saves.push_back(
            {id, title, summary, promptTemplate, category, enabled, maxTokens, createdAt});
    }
    void copyTranscript(const QString &text) override { copied << text; }

    QList<QUuid> toggled;
    QList<QUuid> deleted;
    std::vector<Save> saves;
    QStringList copied;

private:
    QList<InstructionLibraryEntry> m_builtins;
    QList<InstructionLibraryEntry> m_customs;
};

} // namespace tovalit::testing
