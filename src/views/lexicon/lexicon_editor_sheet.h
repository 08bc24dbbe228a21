#pragma once

#include "views/design/tovalit_editor_sheet.h"
#include "views/lexicon/lexicon_editor_draft.h"

class QCheckBox;
class QLineEdit;

namespace tovalit {

// The sheet in which the user adds a lexicon entry or edits one of their
// own. It edits the owner's draft in place and only reports its two
// buttons: storing and closing are the owner's.
class LexiconEditorSheet : public TovalitEditorSheet {
    Q_OBJECT
public:
    static constexpr QSize sheetSize{520, 340};

    LexiconEditorSheet(LexiconEditorDraft &draft, std::function<void()> onCancel,
                       std::function<void()> onSave, QWidget *parent = nullptr);

    QLineEdit *targetField() const { return m_targetField; }
    QLineEdit *sourceField() const { return m_sourceField; }
    QCheckBox *enabledToggle() const { return m_enabledToggle; }

private:
    std::optional<QString> validationMessage() const override;
    void refresh();
    void fitRowsIntoTheSheet();

    static constexpr int minimumRowSpacing = 8;

    LexiconEditorDraft &m_draft;
    QLineEdit *m_targetField;
    QLineEdit *m_sourceField;
    QCheckBox *m_enabledToggle;
};

} // namespace tovalit
