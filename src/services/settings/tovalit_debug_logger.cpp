#include "services/settings/tovalit_debug_logger.h"

#include "platform/linux/ini_defaults_store.h"
#include "support/append_to_file.h"
#include "support/data_folder.h"
#include "support/iso8601.h"
#include "support/textkit.h"

#include <QDateTime>
#include <QStandardPaths>

#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tovalit {

namespace {

constexpr auto diagnosticsFolderName = "Diagnostics";
constexpr auto logFileName = "insertion-debug.log";

std::optional<QString> prepareLogFilePath() {
    try {
        // Through the data folder, so a former folder is moved into place
        // before the log could create an empty one in its way.
        return DataFolder::ensureSubfolder(QLatin1String(diagnosticsFolderName)) + u'/' +
               QLatin1String(logFileName);
    } catch (const DataFolderError &) {
        return std::nullopt;
    }
}

void writeLine(const QString &category, const std::function<QString()> &message) {
    const auto path = prepareLogFilePath();
    if (!path)
        return;
    const QString line = u'[' + iso8601::formatUtcMilliseconds(QDateTime::currentDateTimeUtc()) +
                         QStringLiteral("] [") + category + QStringLiteral("] ") + message() +
                         u'\n';
    const QByteArray bytes = line.toUtf8();
    // Never truncate what is there: one retry, then the line is dropped.
    if (!appendToFile(*path, bytes, 0600))
        appendToFile(*path, bytes, 0600);
}

// The serial writer. Created on first use and deliberately never destroyed
// (a line may be logged from any static's destructor); its thread runs
// from the first line until shutdown(), which the application calls before
// the statics the writer uses go away.
class Writer {
public:
    void submit(QString category, std::function<QString()> message) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back({std::move(category), std::move(message)});
            ++m_submitted;
            startIfIdle();
        }
        m_wake.notify_one();
    }

    void flush() {
        std::unique_lock lock(m_mutex);
        const quint64 target = m_submitted;
        m_done.wait(lock, [&] { return m_completed >= target; });
    }

    void shutdown() {
        std::thread thread;
        {
            std::lock_guard lock(m_mutex);
            if (m_state != State::running)
                return;
            m_state = State::stopping;
            thread = std::move(m_thread);
        }
        m_wake.notify_one();
        thread.join();
        std::lock_guard lock(m_mutex);
        m_state = State::idle;
        // A line that came in after the thread had ended.
        startIfIdle();
    }

private:
    struct Job {
        QString category;
        std::function<QString()> message;
    };
    enum class State { idle, running, stopping };

    // With the lock held.
    void startIfIdle() {
        if (m_state == State::idle && !m_jobs.empty()) {
            m_state = State::running;
            m_thread = std::thread([this] { run(); });
        }
    }

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_jobs.empty() || m_state == State::stopping; });
            // Stopping ends the thread only once everything queued is written.
            if (m_jobs.empty())
                return;
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            try {
                writeLine(job.category, job.message);
            } catch (...) {
                // A message that throws while being built is dropped.
            }
            lock.lock();
            ++m_completed;
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Job> m_jobs;
    quint64 m_submitted = 0;
    quint64 m_completed = 0;
    State m_state = State::idle;
    std::thread m_thread;
};

Writer &writer() {
    static Writer *instance = new Writer;
    return *instance;
}

} // namespace

bool TovalitDebugLogger::isEnabled() {
    if (qEnvironmentVariableIsSet(environmentVariable)) {
        const QString value = textkit::trimmed(qEnvironmentVariable(environmentVariable)).toLower();
        return value == u"1" || value == u"true" || value == u"yes" || value == u"on";
    }
    // A fresh reader per call: QSettings objects are not shared across
    // threads, and it picks up a changed file.
    const IniDefaultsStore defaults(IniDefaultsStore::standardFilePath());
    return defaults.boolean(QLatin1String(defaultsKey)).value_or(false);
}

void TovalitDebugLogger::startNewSession(const QString &note) {
    log(QStringLiteral("session"), QStringLiteral("===== ") + note + QStringLiteral(" ====="));
}

QString TovalitDebugLogger::describeRange(qint64 location, qint64 length) {
    // The end is computed wide, so no range can overflow it.
    const __int128 end = static_cast<__int128>(location) + length;
    const bool negative = end < 0;
    unsigned __int128 magnitude =
        negative ? -static_cast<unsigned __int128>(end) : static_cast<unsigned __int128>(end);
    QString digits;
    do {
        digits.prepend(QChar(u'0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    return QString::number(location) + QStringLiteral("..<") + (negative ? u"-" : u"") + digits;
}

QString TovalitDebugLogger::preview(const std::optional<QString> &text, qsizetype limit) {
    if (!text)
        return QStringLiteral("<nil>");
    QString flattened = *text;
    flattened.replace(u'\n', QStringLiteral("\\n"));
    flattened = textkit::trimmed(flattened);
    if (flattened.isEmpty())
        return QStringLiteral("<empty>");
    const qsizetype bounded = std::max<qsizetype>(limit, 0);
    if (textkit::graphemeCount(flattened) > bounded)
        return textkit::graphemePrefix(flattened, bounded) + QStringLiteral("...");
    return flattened;
}

void TovalitDebugLogger::flush() {
    writer().flush();
}

void TovalitDebugLogger::shutdown() {
    writer().shutdown();
}

QString TovalitDebugLogger::logFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' +
           QLatin1String(DataFolder::productFolderName) + u'/' +
           QLatin1String(diagnosticsFolderName) + u'/' + QLatin1String(logFileName);
}

void TovalitDebugLogger::enqueue(QString category, std::function<QString()> message) {
    writer().submit(std::move(category), std::move(message));
}

} // namespace tovalit
