#pragma once

#include "views/design/tovalit_sheet.h"
#include "views/instructions/instruction_editor_draft.h"

#include <functional>

class QLineEdit;
class QPlainTextEdit;

namespace tovalit {

class TovalitButton;
class TovalitSegmentedControl;
class TovalitSwitch;
class TovalitTextLabel;

// The sheet in which the user writes a new instruction or changes one of
// their own. It edits the owner's draft in place, keystroke by keystroke,
// and only reports its two buttons: storing and closing are the owner's.
class InstructionEditorSheet : public TovalitSheet {
    Q_OBJECT
public:
    static constexpr QSize sheetSize{620, 560};

    InstructionEditorSheet(InstructionEditorDraft &draft, std::function<void()> onCancel,
                           std::function<void()> onSave, QWidget *parent = nullptr);

    TovalitTextLabel *titleLabel() const { return m_title; }
    TovalitTextLabel *explanationLabel() const { return m_explanation; }
    QLineEdit *nameField() const { return m_nameField; }
    QLineEdit *summaryField() const { return m_summaryField; }
    TovalitSegmentedControl *categoryPicker() const { return m_categoryPicker; }
    TovalitSwitch *enabledSwitch() const { return m_enabledSwitch; }
    QPlainTextEdit *promptEditor() const { return m_promptEditor; }
    // Hidden while the draft may be saved.
    TovalitTextLabel *validationLabel() const { return m_validation; }
    TovalitButton *cancelButton() const { return m_cancelButton; }
    TovalitButton *primaryButton() const { return m_primaryButton; }

private:
    void refresh();

    InstructionEditorDraft &m_draft;
    TovalitTextLabel *m_title;
    TovalitTextLabel *m_explanation;
    QLineEdit *m_nameField;
    QLineEdit *m_summaryField;
    TovalitSegmentedControl *m_categoryPicker;
    TovalitSwitch *m_enabledSwitch;
    QPlainTextEdit *m_promptEditor;
    TovalitTextLabel *m_validation;
    TovalitButton *m_cancelButton;
    TovalitButton *m_primaryButton;
};

} // namespace tovalit
