#pragma once

#include "models/personal_lexicon_entry.h"
#include "views/design/tovalit_glass_surface.h"

namespace tovalit {

class TovalitBadge;
class TovalitMenuButton;
class TovalitSelectableText;
class TovalitTextLabel;

// One of the user's lexicon entries: its sync state, the writing it keeps,
// when it last changed, how often it applied, what it does, and a menu to
// edit, switch or delete it. The card only reports the user's actions.
class PersonalLexiconEntryCard : public TovalitGlassSurface {
    Q_OBJECT
public:
    PersonalLexiconEntryCard(const PersonalLexiconEntry &entry, QWidget *parent = nullptr);

    const PersonalLexiconEntry &entry() const { return m_entry; }

    // The badge titles, left to right.
    QStringList badgeTitles() const;
    TovalitSelectableText *displayText() const { return m_displayText; }
    TovalitTextLabel *updatedAtLabel() const { return m_updatedAt; }
    // Null below two hits.
    TovalitTextLabel *hitCountLabel() const { return m_hitCount; }
    TovalitTextLabel *explanationLabel() const { return m_explanation; }
    TovalitMenuButton *menuButton() const { return m_menuButton; }

    // What the entry does, as its card explains it.
    static QString explanation(const PersonalLexiconEntry &entry);

Q_SIGNALS:
    void editClicked();
    void toggleClicked();
    void deleteClicked();

private:
    PersonalLexiconEntry m_entry;
    QList<TovalitBadge *> m_badges;
    TovalitSelectableText *m_displayText;
    TovalitTextLabel *m_updatedAt;
    TovalitTextLabel *m_hitCount = nullptr;
    TovalitTextLabel *m_explanation;
    TovalitMenuButton *m_menuButton;
};

} // namespace tovalit
