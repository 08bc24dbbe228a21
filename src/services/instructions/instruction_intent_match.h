#pragma once

#include "models/instruction_library_entry.h"

#include <QString>

#include <optional>

namespace tovalit {

// The spoken command found at the start of a dictation: a request to
// create an instruction, an entry to run on the rest of the text, or none.
class InstructionIntentMatch {
public:
    enum class Kind { create, run, none };

    struct Run {
        InstructionLibraryEntry entry;
        // The text after the phrase; never empty.
        QString input;
        // The phrase of the entry's displayInvocationPhrases() that matched.
        QString matchedPhrase;
        bool operator==(const Run &other) const = default;
    };

    static InstructionIntentMatch create(QString description);
    static InstructionIntentMatch run(InstructionLibraryEntry entry, QString input,
                                      QString matchedPhrase);
    static InstructionIntentMatch none();

    Kind kind() const { return m_kind; }
    // Only for create: the text after the create phrase; never empty.
    const QString &description() const { return m_description; }
    // Only for run.
    const Run *asRun() const { return m_run ? &*m_run : nullptr; }

    bool operator==(const InstructionIntentMatch &other) const = default;

private:
    InstructionIntentMatch(Kind kind, QString description, std::optional<Run> run);

    Kind m_kind;
    QString m_description;
    std::optional<Run> m_run;
};

} // namespace tovalit
