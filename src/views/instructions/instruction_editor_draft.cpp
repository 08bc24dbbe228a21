#include "views/instructions/instruction_editor_draft.h"

#include "support/textkit.h"

namespace tovalit {

InstructionEditorDraft::InstructionEditorDraft(const InstructionLibraryEntry &entry)
    : entryID(entry.id())
    , title(entry.title)
    , summary(entry.summary)
    , promptTemplate(entry.promptTemplate)
    , category(entry.category)
    , enabled(entry.enabled)
    , createdAt(entry.createdAt) {}

QString InstructionEditorDraft::sheetTitle() const {
    return isEditing() ? QStringLiteral("编辑指令") : QStringLiteral("新增指令");
}

QString InstructionEditorDraft::primaryButtonTitle() const {
    return isEditing() ? QStringLiteral("保存修改") : QStringLiteral("加入指令库");
}

QString InstructionEditorDraft::trimmedTitle() const {
    return textkit::trimmed(title);
}

QString InstructionEditorDraft::trimmedSummary() const {
    return textkit::trimmed(summary);
}

QString InstructionEditorDraft::trimmedPromptTemplate() const {
    return textkit::trimmed(promptTemplate);
}

QString InstructionEditorDraft::explanation() const {
    const QString name = trimmedTitle();
    return QStringLiteral("V1 的自建指令会先本地保存。后续你说“用") +
           (name.isEmpty() ? QStringLiteral("某个名字") : name) +
           QStringLiteral("指令 + 内容”时，就会走这套 Prompt。");
}

std::optional<QString> InstructionEditorDraft::validationMessage() const {
    if (trimmedTitle().isEmpty())
        return QStringLiteral("指令名称不能为空。");
    if (trimmedPromptTemplate().isEmpty())
        return QStringLiteral("Prompt 内容不能为空。");
    return std::nullopt;
}

} // namespace tovalit
