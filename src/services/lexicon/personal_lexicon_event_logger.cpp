#include "services/lexicon/personal_lexicon_event_logger.h"

#include "support/append_to_file.h"
#include "support/data_folder.h"
#include "support/json_text.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace tovalit {

PersonalLexiconEventLogger::PersonalLexiconEventLogger(std::optional<QString> baseDirectory)
    : m_baseDirectory(std::move(baseDirectory))
    , m_executor(QStringLiteral("PersonalLexiconEventLogger")) {}

PersonalLexiconEventLogger::~PersonalLexiconEventLogger() = default;

QCoro::Task<void> PersonalLexiconEventLogger::record(PersonalLexiconAuditEvent event) {
    return m_executor.run([this, event = std::move(event)]() noexcept {
        try {
            append(event);
        } catch (...) {
            // Best effort by design: the lexicon operation that produced the
            // event goes on whether or not its trace was written.
        }
    });
}

void PersonalLexiconEventLogger::append(const PersonalLexiconAuditEvent &event) const {
    // Resolved for every event, through the same rule as the lexicon store,
    // so a former data folder is moved into place rather than shadowed by a
    // fresh empty one.
    const QString folder = m_baseDirectory ? *m_baseDirectory : DataFolder::resolve();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw DataFolderError(DataFolderError::Kind::CreateFailed, folder);
    const QString path = folder + u'/' + QLatin1String(auditFileName);

    // Compact JSON escapes line breaks inside strings, so the line feed
    // below is the only one in the line.
    const QByteArray line = json::compact(event.toJson()) + '\n';
    if (!appendToFile(path, line, 0666))
        throw std::runtime_error("cannot write the lexicon audit file");
}

} // namespace tovalit
