#pragma once

#include "services/lexicon/personal_lexicon_event_logging.h"
#include "support/serial_executor.h"

#include <QString>

#include <optional>

namespace tovalit {

// Appends each audit event as one compact JSON line to
// "personal-lexicon-events.jsonl" beside the lexicon file. An actor: events
// are written one at a time, each line with a single write on an append
// descriptor, so lines never interleave or glue together, even after a
// crash. An event that cannot be written is dropped without a trace.
class PersonalLexiconEventLogger : public PersonalLexiconEventLogging {
public:
    static constexpr const char *auditFileName = "personal-lexicon-events.jsonl";

    // `baseDirectory` replaces the data folder (used as is, created when
    // missing).
    explicit PersonalLexiconEventLogger(std::optional<QString> baseDirectory = std::nullopt);
    ~PersonalLexiconEventLogger() override;

    QCoro::Task<void> record(PersonalLexiconAuditEvent event) override;

private:
    // Runs on the executor's thread; throws on any failure.
    void append(const PersonalLexiconAuditEvent &event) const;

    const std::optional<QString> m_baseDirectory;
    // Last: destroying it waits for queued events.
    SerialExecutor m_executor;
};

} // namespace tovalit
