#pragma once

#include "models/observed_insertion_edit_session.h"

#include <QUuid>

#include <functional>
#include <variant>

namespace tovalit {

// What the watch over an inserted text reports: the user's edit has come
// to rest, or the field is back to the text right after the insertion.
class ObservedInsertionEditEvent {
public:
    enum class Kind { stableEdited, revertedToOriginal };

    static ObservedInsertionEditEvent stableEdited(ObservedInsertionEditSession session);
    static ObservedInsertionEditEvent revertedToOriginal(QUuid sessionID);

    Kind kind() const;
    // The edit of a stableEdited event; nothing for a revert.
    const ObservedInsertionEditSession *session() const;
    // The watched insertion, for either kind.
    QUuid sessionID() const;

    bool operator==(const ObservedInsertionEditEvent &) const = default;

private:
    explicit ObservedInsertionEditEvent(std::variant<ObservedInsertionEditSession, QUuid> payload);

    std::variant<ObservedInsertionEditSession, QUuid> m_payload;
};

// Receives the events of the watch over an insertion; may be called from
// any thread. Empty means nobody listens (and nothing is watched).
using ObservedInsertionEditCallback = std::function<void(const ObservedInsertionEditEvent &)>;

} // namespace tovalit
