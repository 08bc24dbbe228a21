#pragma once

#include "views/design/tovalit_glass_surface.h"

#include <QList>

class QVBoxLayout;

namespace tovalit {

class TovalitBadge;
class TovalitMenuButton;

// A card for one entry of the user's collections: badges over the entry's
// title, at the top right the menu to edit, switch or delete it, further
// rows below. The card only reports the user's actions.
class TovalitEntryCard : public TovalitGlassSurface {
    Q_OBJECT
public:
    // The badge titles, left to right.
    QStringList badgeTitles() const;
    // Null for an entry the user cannot change.
    TovalitMenuButton *menuButton() const { return m_menuButton; }

Q_SIGNALS:
    void editClicked();
    void toggleClicked();
    void deleteClicked();

protected:
    explicit TovalitEntryCard(QWidget *parent);

    // The weight and size of every entry's title.
    static QFont titleFont();

    QVBoxLayout *column() const { return m_column; }
    // Adds the top row: `badges` above `title`, and the menu when the user
    // may change the entry (offering to switch it off while `enabled`).
    // Returns the column under the badges, for rows below the title.
    QVBoxLayout *addHeading(const QList<TovalitBadge *> &badges, QWidget *title, bool changeable,
                            bool enabled);

private:
    QVBoxLayout *m_column;
    QList<TovalitBadge *> m_badges;
    TovalitMenuButton *m_menuButton = nullptr;
};

} // namespace tovalit
