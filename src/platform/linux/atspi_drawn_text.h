#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tovalit::atspi {

// Whether an element's whole text is a hint the page draws while the field
// is empty ("输入消息…" of a chat box), rather than text the user wrote:
// such a field is empty. Decided from what the browsers show on the
// accessibility bus:
// - Firefox marks the run of drawn text with the text attribute
//   "auto-generated" = "true", for the editor's own style
//   (`:empty::before`) and for a paragraph's (`p.is-empty::before`);
// - Chromium makes a hint drawn as a block of its own an embedded object
//   whose "tag" attribute is "::before" (or "::after");
// - a placeholder the page gives the field (`aria-placeholder`) is named
//   so: the object attribute "placeholder-text" (Firefox) or the field's
//   name, with "name-from" = "placeholder" (Chromium), equals the text.
// - Chromium gives a hint drawn inline (`:empty::before`, `::after`) to the
//   editor as a text child of its own that the user cannot edit, where
//   every text typed into the editor is an editable child.
// A hint drawn inline that nothing marks reads as text. Only the whole
// text counts, bar the line break a paragraph ends with: a field that
// holds the user's words besides drawn ones (a list's bullet, an icon)
// keeps them all.
struct DrawnTextSigns {
    // The element's whole text, as the user would read it.
    QString text;
    // The first run of its text attributes: where it ends (in the
    // application's own offsets) and the attributes; nothing when unread.
    std::optional<std::pair<qint64, QHash<QString, QString>>> firstRun;
    // How long the text is in the application's own offsets.
    qint64 nativeLength = 0;
    // The element's object attributes and name.
    QHash<QString, QString> attributes;
    QString name;
    // The "tag" of each element the text embeds (its U+FFFC, in order),
    // asked only of a text made of them.
    std::function<QStringList()> embeddedTags;
    // The texts of the element's children, in order, each with whether it
    // is a plain text the user cannot edit (Chromium's "static" without an
    // element of its own); nothing when they cannot be listed.
    struct ChildText {
        QString text;
        bool uneditablePlainText = false;
    };
    std::function<std::optional<QList<ChildText>>()> childTexts;
};

// Hints are short: a longer text is never asked about.
constexpr qsizetype drawnTextLimit = 160;

bool isDrawnHint(const DrawnTextSigns &signs);

} // namespace tovalit::atspi
