#pragma once

#include "views/design/tovalit_editor_sheet.h"
#include "views/instructions/instruction_editor_draft.h"

class QLineEdit;
class QPlainTextEdit;

namespace tovalit {

class TovalitSegmentedControl;
class TovalitSwitch;

// The sheet in which the user writes a new instruction or changes one of
// their own. It edits the owner's draft in place, keystroke by keystroke,
// and only reports its two buttons: storing and closing are the owner's.
class InstructionEditorSheet : public TovalitEditorSheet {
    Q_OBJECT
public:
    static constexpr QSize sheetSize{620, 560};

    InstructionEditorSheet(InstructionEditorDraft &draft, std::function<void()> onCancel,
                           std::function<void()> onSave, QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_nameField; }
    QLineEdit *summaryField() const { return m_summaryField; }
    TovalitSegmentedControl *categoryPicker() const { return m_categoryPicker; }
    TovalitSwitch *enabledSwitch() const { return m_enabledSwitch; }
    QPlainTextEdit *promptEditor() const { return m_promptEditor; }

private:
    std::optional<QString> validationMessage() const override;
    void refresh();

    InstructionEditorDraft &m_draft;
    QLineEdit *m_nameField;
    QLineEdit *m_summaryField;
    TovalitSegmentedControl *m_categoryPicker;
    TovalitSwitch *m_enabledSwitch;
    QPlainTextEdit *m_promptEditor;
};

} // namespace tovalit
