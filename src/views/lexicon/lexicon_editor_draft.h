#pragma once

#include "models/personal_lexicon_entry.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace tovalit {

// What the lexicon editor edits: the wanted writing and, optionally, what
// the recogniser tends to produce instead. The kind follows from whether a
// source is given; everything the user does not see is carried through
// unchanged.
struct LexiconEditorDraft {
    std::optional<QUuid> entryID;
    QString sourceText;
    QString targetText;
    bool enabled = true;
    qint64 hitCount = 1;
    std::optional<QDateTime> createdAt;
    std::optional<QDateTime> lastAppliedAt;

    LexiconEditorDraft() = default;
    explicit LexiconEditorDraft(const PersonalLexiconEntry &entry);

    bool isEditing() const { return entryID.has_value(); }
    // "编辑词条" or "新增词条".
    QString title() const;
    // "保存修改" or "加入我的词条".
    QString primaryButtonTitle() const;
    QString trimmedTargetText() const;
    QString trimmedSourceText() const;
    bool hasSourceText() const;
    // A replacement when a source is given, else a hot word.
    PersonalLexiconEntryKind kind() const;
    // What keeps the draft from being saved; none when it may be.
    std::optional<QString> validationMessage() const;

    bool operator==(const LexiconEditorDraft &) const = default;
};

} // namespace tovalit
