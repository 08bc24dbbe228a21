#include "views/lexicon/lexicon_editor_draft.h"

#include "services/lexicon/lexicon_term_validator.h"
#include "support/textkit.h"

namespace tovalit {

LexiconEditorDraft::LexiconEditorDraft(const PersonalLexiconEntry &entry)
    : entryID(entry.id())
    , sourceText(entry.sourceText.value_or(QString()))
    , targetText(entry.targetText)
    , enabled(entry.enabled)
    , hitCount(entry.hitCount)
    , createdAt(entry.createdAt)
    , lastAppliedAt(entry.lastAppliedAt) {}

QString LexiconEditorDraft::title() const {
    return isEditing() ? QStringLiteral("编辑词条") : QStringLiteral("新增词条");
}

QString LexiconEditorDraft::primaryButtonTitle() const {
    return isEditing() ? QStringLiteral("保存修改") : QStringLiteral("加入我的词条");
}

QString LexiconEditorDraft::trimmedTargetText() const {
    return textkit::trimmed(targetText);
}

QString LexiconEditorDraft::trimmedSourceText() const {
    return textkit::trimmed(sourceText);
}

bool LexiconEditorDraft::hasSourceText() const {
    return !trimmedSourceText().isEmpty();
}

PersonalLexiconEntryKind LexiconEditorDraft::kind() const {
    return hasSourceText() ? PersonalLexiconEntryKind::replacement
                           : PersonalLexiconEntryKind::hotword;
}

std::optional<QString> LexiconEditorDraft::validationMessage() const {
    const QString target = trimmedTargetText();
    if (target.isEmpty())
        return QStringLiteral("词条内容不能为空。");
    if (hasSourceText()) {
        if (!LexiconTermValidator::cloudCompatibleReplacementPair(trimmedSourceText(), target))
            return QStringLiteral("原识别词和词条内容都要是可识别的短词，且不能完全相同。");
    } else if (!LexiconTermValidator::cloudCompatibleHotword(target)) {
        return QStringLiteral("词条内容只支持无空格的词或术语。");
    }
    return std::nullopt;
}

} // namespace tovalit
