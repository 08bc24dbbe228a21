#pragma once

#include "models/instruction_library_entry.h"
#include "services/instructions/instruction_intent_match.h"

#include <QList>
#include <QStringList>
#include <QStringView>

namespace tovalit {

// Recognises a spoken command at the start of a dictation: a create phrase
// ("帮我创建一个指令" …) followed by a description, or the phrase of an
// enabled entry followed by the text it should work on. Pure: safe from
// any thread.
//
// Phrases compare by the library's comparison key, so case, accents and
// full-width forms do not matter. A phrase with nothing after it is not a
// command: the dictation is then formatted like any other.
class InstructionIntentRecognizer {
public:
    InstructionIntentRecognizer() = delete;

    static InstructionIntentMatch
    resolveIntent(QStringView transcript, const QList<InstructionLibraryEntry> &availableEntries);

    // In stored order; longer phrases are tried first.
    static const QStringList &createPhrases();
};

} // namespace tovalit
