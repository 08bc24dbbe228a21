#include "services/instructions/instruction_intent_match.h"

namespace tovalit {

InstructionIntentMatch::InstructionIntentMatch(Kind kind, QString description,
                                               std::optional<Run> run)
    : m_kind(kind)
    , m_description(std::move(description))
    , m_run(std::move(run)) {}

InstructionIntentMatch InstructionIntentMatch::create(QString description) {
    return InstructionIntentMatch(Kind::create, std::move(description), std::nullopt);
}

InstructionIntentMatch InstructionIntentMatch::run(InstructionLibraryEntry entry, QString input,
                                                   QString matchedPhrase) {
    return InstructionIntentMatch(
        Kind::run, {}, Run{std::move(entry), std::move(input), std::move(matchedPhrase)});
}

InstructionIntentMatch InstructionIntentMatch::none() {
    return InstructionIntentMatch(Kind::none, {}, std::nullopt);
}

} // namespace tovalit
