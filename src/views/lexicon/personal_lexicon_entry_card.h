#pragma once

#include "models/personal_lexicon_entry.h"
#include "views/design/tovalit_entry_card.h"

namespace tovalit {

class TovalitSelectableText;
class TovalitTextLabel;

// One of the user's lexicon entries: its sync state, the writing it keeps,
// when it last changed, how often it applied, what it does, and a menu to
// edit, switch or delete it. The card only reports the user's actions.
class PersonalLexiconEntryCard : public TovalitEntryCard {
    Q_OBJECT
public:
    PersonalLexiconEntryCard(const PersonalLexiconEntry &entry, QWidget *parent = nullptr);

    const PersonalLexiconEntry &entry() const { return m_entry; }

    TovalitSelectableText *displayText() const { return m_displayText; }
    TovalitTextLabel *updatedAtLabel() const { return m_updatedAt; }
    // Null below two hits.
    TovalitTextLabel *hitCountLabel() const { return m_hitCount; }
    TovalitTextLabel *explanationLabel() const { return m_explanation; }

    // What the entry does, as its card explains it.
    static QString explanation(const PersonalLexiconEntry &entry);

private:
    PersonalLexiconEntry m_entry;
    TovalitSelectableText *m_displayText;
    TovalitTextLabel *m_updatedAt;
    TovalitTextLabel *m_hitCount = nullptr;
    TovalitTextLabel *m_explanation;
};

} // namespace tovalit
