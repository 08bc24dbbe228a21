#pragma once

#include "models/instruction_library_entry.h"
#include "views/design/tovalit_entry_card.h"

namespace tovalit {

class TovalitButton;
class TovalitDisclosureGroup;
class TovalitSelectableText;
class TovalitTextLabel;

// One instruction on the library page: its badges, name, summary, how to
// speak it, an example, the prompt behind a disclosure, its origin and the
// copy button. The user's own instructions also carry a menu to edit,
// switch or delete them. The card only reports the user's actions.
class InstructionEntryCard : public TovalitEntryCard {
    Q_OBJECT
public:
    InstructionEntryCard(const InstructionLibraryEntry &entry, bool promptExpanded,
                         QWidget *parent = nullptr);

    const InstructionLibraryEntry &entry() const { return m_entry; }

    TovalitSelectableText *titleText() const { return m_title; }
    TovalitTextLabel *summaryLabel() const { return m_summary; }
    TovalitTextLabel *hintLabel() const { return m_hint; }
    // Null when the entry has no trigger phrase.
    TovalitTextLabel *exampleLabel() const { return m_example; }
    TovalitDisclosureGroup *promptDisclosure() const { return m_disclosure; }
    TovalitSelectableText *promptText() const { return m_prompt; }
    TovalitTextLabel *originLabel() const { return m_origin; }
    TovalitButton *copyButton() const { return m_copyButton; }

Q_SIGNALS:
    void copyTriggerClicked();
    void promptExpandedChanged(bool expanded);

private:
    InstructionLibraryEntry m_entry;
    TovalitSelectableText *m_title;
    TovalitTextLabel *m_summary;
    TovalitTextLabel *m_hint;
    TovalitTextLabel *m_example = nullptr;
    TovalitSelectableText *m_prompt;
    TovalitDisclosureGroup *m_disclosure;
    TovalitTextLabel *m_origin;
    TovalitButton *m_copyButton;
};

} // namespace tovalit
