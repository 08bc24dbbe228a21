#include "models/instruction_routing_result.h"

#include <utility>

namespace tovalit {

InstructionRoutingResult::InstructionRoutingResult(Kind kind, QString text, QString note)
    : m_kind(kind)
    , m_text(std::move(text))
    , m_note(std::move(note)) {}

InstructionRoutingResult InstructionRoutingResult::executed(QString text, QString note) {
    return InstructionRoutingResult(Kind::executed, std::move(text), std::move(note));
}

InstructionRoutingResult InstructionRoutingResult::creationScheduled(QString text, QString note) {
    return InstructionRoutingResult(Kind::creationScheduled, std::move(text), std::move(note));
}

InstructionRoutingResult InstructionRoutingResult::notRouted() {
    return InstructionRoutingResult(Kind::notRouted, QString(), QString());
}

} // namespace tovalit
