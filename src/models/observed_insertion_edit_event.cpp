#include "models/observed_insertion_edit_event.h"

namespace tovalit {

ObservedInsertionEditEvent::ObservedInsertionEditEvent(
    std::variant<ObservedInsertionEditSession, QUuid> payload)
    : m_payload(std::move(payload)) {}

ObservedInsertionEditEvent
ObservedInsertionEditEvent::stableEdited(ObservedInsertionEditSession session) {
    return ObservedInsertionEditEvent(std::move(session));
}

ObservedInsertionEditEvent ObservedInsertionEditEvent::revertedToOriginal(QUuid sessionID) {
    return ObservedInsertionEditEvent(sessionID);
}

ObservedInsertionEditEvent::Kind ObservedInsertionEditEvent::kind() const {
    return std::holds_alternative<ObservedInsertionEditSession>(m_payload)
               ? Kind::stableEdited
               : Kind::revertedToOriginal;
}

const ObservedInsertionEditSession *ObservedInsertionEditEvent::session() const {
    return std::get_if<ObservedInsertionEditSession>(&m_payload);
}

QUuid ObservedInsertionEditEvent::sessionID() const {
    if (const auto *edit = session())
        return edit->sessionID;
    return std::get<QUuid>(m_payload);
}

} // namespace tovalit
