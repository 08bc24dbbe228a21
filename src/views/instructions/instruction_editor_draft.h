#pragma once

#include "models/instruction_library_entry.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace tovalit {

// What the instruction editor edits: a new instruction, or a copy of one of
// the user's own. Trigger phrases, hint and token limit are not part of it:
// they follow from the name when the entry is stored.
struct InstructionEditorDraft {
    std::optional<QUuid> entryID;
    QString title;
    QString summary;
    QString promptTemplate;
    InstructionLibraryCategory category = InstructionLibraryCategory::writing;
    bool enabled = true;
    std::optional<QDateTime> createdAt;

    InstructionEditorDraft() = default;
    explicit InstructionEditorDraft(const InstructionLibraryEntry &entry);

    bool isEditing() const { return entryID.has_value(); }
    // "编辑指令" or "新增指令".
    QString sheetTitle() const;
    // "保存修改" or "加入指令库".
    QString primaryButtonTitle() const;
    QString trimmedTitle() const;
    QString trimmedSummary() const;
    QString trimmedPromptTemplate() const;
    // The line under the sheet's title, naming the instruction as the user
    // will speak it.
    QString explanation() const;
    // What keeps the draft from being saved; none when it may be.
    std::optional<QString> validationMessage() const;

    bool operator==(const InstructionEditorDraft &) const = default;
};

} // namespace tovalit
