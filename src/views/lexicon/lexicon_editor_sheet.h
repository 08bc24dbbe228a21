#pragma once

#include "views/design/tovalit_sheet.h"
#include "views/lexicon/lexicon_editor_draft.h"

#include <functional>

class QCheckBox;
class QLineEdit;

namespace tovalit {

class TovalitButton;
class TovalitTextLabel;

// The sheet in which the user adds a lexicon entry or edits one of their
// own. It edits the owner's draft in place and only reports its two
// buttons: storing and closing are the owner's.
class LexiconEditorSheet : public TovalitSheet {
    Q_OBJECT
public:
    static constexpr QSize sheetSize{520, 340};

    LexiconEditorSheet(LexiconEditorDraft &draft, std::function<void()> onCancel,
                       std::function<void()> onSave, QWidget *parent = nullptr);

    TovalitTextLabel *titleLabel() const { return m_title; }
    QLineEdit *targetField() const { return m_targetField; }
    QLineEdit *sourceField() const { return m_sourceField; }
    QCheckBox *enabledToggle() const { return m_enabledToggle; }
    // Hidden while the draft may be saved.
    TovalitTextLabel *validationLabel() const { return m_validation; }
    TovalitButton *cancelButton() const { return m_cancelButton; }
    TovalitButton *primaryButton() const { return m_primaryButton; }

private:
    void refresh();

    LexiconEditorDraft &m_draft;
    TovalitTextLabel *m_title;
    QLineEdit *m_targetField;
    QLineEdit *m_sourceField;
    QCheckBox *m_enabledToggle;
    TovalitTextLabel *m_validation;
    TovalitButton *m_cancelButton;
    TovalitButton *m_primaryButton;
};

} // namespace tovalit
