#include "services/lexicon/personal_lexicon_event_logger.h"

#include "support/data_folder.h"
#include "support/json_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace tovalit {

namespace {

// Closes the descriptor on every path out.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

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
    const QByteArray path = QFile::encodeName(folder + u'/' + QLatin1String(auditFileName));

    // Compact JSON escapes line breaks inside strings, so the line feed
    // below is the only one in the line.
    const QByteArray line = json::compact(event.toJson()) + '\n';
    const Descriptor fd(::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        throw std::runtime_error("cannot open the lexicon audit file");
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t result = ::write(fd.get(), line.constData() + written,
                                       static_cast<size_t>(line.size() - written));
        if (result < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("cannot write the lexicon audit file");
        }
        written += result;
    }
}

} // namespace tovalit
