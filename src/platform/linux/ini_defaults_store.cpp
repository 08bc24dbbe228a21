#include "platform/linux/ini_defaults_store.h"

#include "support/atomic_file.h"
#include "support/path_presence.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovalit {

namespace {

// What identifies one state of the file: another writer changes its size
// or its modification time, or puts another file in its place.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;

    static FileStamp of(const struct stat &status) {
        return {status.st_dev, status.st_ino, status.st_size, qint64(status.st_mtim.tv_sec),
                qint64(status.st_mtim.tv_nsec)};
    }
    bool operator==(const FileStamp &) const = default;
};

} // namespace

struct IniUnfinishedReading {
    QByteArray bytes;
    FileStamp stamp;
    double readAt = 0;
};

namespace {

// The file's text as one read found it, with its stamp then; neither when
// there was no file. `unfinished` when it ends inside a line and changed
// lately: its writer may not be done.
struct FileReading {
    QByteArray bytes;
    std::optional<FileStamp> stamp;
    bool unfinished = false;
};

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// A file that ends inside a line may still be being written: every program
// that writes this format ends its last line. A person's editor may not
// (some save no final line end): a file that has held still that long
// since its last change is finished, and so is one that two reads this far
// apart found the same.
constexpr qint64 unfinishedForSeconds = 30;
constexpr double settledAfterSeconds = 3.0;

QString unfinishedProblem() {
    return QStringLiteral("文件尚未写完，可能正被其他程序写入");
}

bool endsMidLine(const QByteArray &bytes) {
    return !bytes.isEmpty() && !bytes.endsWith('\n') && !bytes.endsWith('\r');
}

bool changedLately(const struct stat &status) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    return now - qint64(status.st_mtim.tv_sec) < unfinishedForSeconds;
}

// The file's text, empty when there is none; nothing, with the reason in
// `problem`, when it may exist but cannot be read, or was cut short as it
// was read.
std::optional<FileReading> readFile(const QString &path, QString &problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const PathPresence presence = PathPresence::of(path, PathPresence::Links::follow);
        if (presence.kind == PathPresence::Kind::absent)
            return FileReading();
        problem =
            presence.kind == PathPresence::Kind::unknown ? presence.problem : file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        problem = file.errorString();
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.handle(), &status) != 0) {
        problem = systemError(errno);
        return std::nullopt;
    }
    // Written on while we read, or cut short: the rest is still to come.
    if (status.st_size != off_t(bytes.size())) {
        problem = unfinishedProblem();
        return std::nullopt;
    }
    const bool unfinished = endsMidLine(bytes) && changedLately(status);
    return FileReading{std::move(bytes), FileStamp::of(status), unfinished};
}

// The file's text once its writer is done with it. A writer that pauses
// changes the bytes or the stamp between two reads; a file that stays as
// it was for a few seconds is done.
std::optional<FileReading> readWholeFile(const QString &path, QString &problem,
                                         std::shared_ptr<IniUnfinishedReading> &unfinished,
                                         const MonotonicClock &clock) {
    std::optional<FileReading> reading = readFile(path, problem);
    if (!reading || !reading->unfinished) {
        unfinished.reset();
        return reading;
    }
    const double now = clock();
    if (unfinished && unfinished->bytes == reading->bytes && unfinished->stamp == *reading->stamp) {
        if (now - unfinished->readAt >= settledAfterSeconds) {
            unfinished.reset();
            return reading;
        }
    } else {
        unfinished = std::make_shared<IniUnfinishedReading>(
            IniUnfinishedReading{reading->bytes, *reading->stamp, now});
    }
    problem = unfinishedProblem();
    return std::nullopt;
}

std::optional<QByteArray> readAll(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

// Why the file must not be replaced now: someone wrote it, removed it or
// put another in its place since `reading`; nothing when it is as read.
std::optional<QString> changedSince(const QString &path, const FileReading &reading) {
    struct stat status {};
    std::optional<FileStamp> now;
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        now = FileStamp::of(status);
    else if (errno != ENOENT)
        return QStringLiteral("cannot look at ") + path + QStringLiteral(": ") + systemError(errno);
    // A write of the same size within one tick of the file system's clock
    // leaves the stamp as it was: the text tells.
    if (now == reading.stamp && (!now || readAll(path) == reading.bytes))
        return std::nullopt;
    return path +
           QStringLiteral(" changed while it was being saved: another program is writing it");
}

// Read-change-write of the file is one step for every instance and process:
// an exclusive lock on its folder, dropped by the kernel should we die.
class FolderLock {
public:
    explicit FolderLock(const QString &folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (m_fd < 0)
            return;
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int m_fd;
};

} // namespace

IniDefaultsStore::IniDefaultsStore(const QString &filePath, std::function<void()> beforeReplace,
                                   MonotonicClock clock)
    : m_path(filePath)
    , m_beforeReplace(std::move(beforeReplace))
    , m_clock(clock ? std::move(clock) : systemMonotonicClock()) {
    atomicfile::removeStaleTemporaries(m_path);
    QString problem;
    if (const auto reading = readWholeFile(m_path, problem, m_unfinished, m_clock))
        m_document = IniDocument::parse(reading->bytes);
    else
        m_loadProblem = QDir::toNativeSeparators(m_path) + QStringLiteral(": ") + problem;
}

IniDefaultsStore::~IniDefaultsStore() {
    if (!m_unsaved.empty())
        synchronize();
}

QString IniDefaultsStore::standardFilePath() {
    // Resolved on every call rather than through QSettings' user scope,
    // which fixes the folder at first use.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tovalit/Tovalit.ini");
}

QString IniDefaultsStore::filePath() const {
    return m_path;
}

std::optional<bool> IniDefaultsStore::boolean(const QString &key) const {
    const auto text = string(key);
    if (text == u"true")
        return true;
    if (text == u"false")
        return false;
    return std::nullopt;
}

std::optional<QString> IniDefaultsStore::string(const QString &key) const {
    const auto value = m_document.value(key);
    if (!value || value->typeId() != QMetaType::QString)
        return std::nullopt;
    return value->toString();
}

std::optional<QByteArray> IniDefaultsStore::data(const QString &key) const {
    const auto value = m_document.value(key);
    if (!value || value->typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value->toByteArray();
}

bool IniDefaultsStore::contains(const QString &key) const {
    return m_document.contains(key);
}

std::optional<QString> IniDefaultsStore::loadProblem() const {
    return m_loadProblem;
}

void IniDefaultsStore::setBoolean(const QString &key, bool value) {
    change(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void IniDefaultsStore::setString(const QString &key, const QString &value) {
    change(key, value);
}

void IniDefaultsStore::setData(const QString &key, const QByteArray &value) {
    change(key, value);
}

void IniDefaultsStore::remove(const QString &key) {
    change(key, std::nullopt);
}

void IniDefaultsStore::change(const QString &key, std::optional<QVariant> value) {
    Change change{key, std::move(value)};
    apply(m_document, change);
    m_unsaved.push_back(std::move(change));
}

void IniDefaultsStore::apply(IniDocument &document, const Change &change) {
    if (!change.value)
        document.remove(change.key);
    else if (change.value->typeId() == QMetaType::QByteArray)
        document.setData(change.key, change.value->toByteArray());
    else
        document.setString(change.key, change.value->toString());
}

std::optional<QString> IniDefaultsStore::synchronize() {
    const QString folder = QFileInfo(m_path).path();
    const PathPresence folderPresence = PathPresence::of(folder, PathPresence::Links::follow);
    if (folderPresence.kind == PathPresence::Kind::unknown)
        return QStringLiteral("cannot look at ") + folder + QStringLiteral(": ") +
               folderPresence.problem;
    if (folderPresence.kind == PathPresence::Kind::absent) {
        // Nothing to keep (removals only): no folder made for it.
        IniDocument empty;
        for (const Change &change : m_unsaved)
            apply(empty, change);
        if (empty.toBytes().isEmpty()) {
            m_unsaved.clear();
            m_document = std::move(empty);
            m_loadProblem.reset();
            return std::nullopt;
        }
        if (!QDir().mkpath(folder))
            return QStringLiteral("cannot create ") + folder;
    }
    const FolderLock lock(folder);
    QString problem;
    const auto current = readWholeFile(m_path, problem, m_unfinished, m_clock);
    if (!current)
        return QStringLiteral("cannot read ") + m_path + QStringLiteral(": ") + problem;
    IniDocument document = IniDocument::parse(current->bytes);
    for (const Change &change : m_unsaved)
        apply(document, change);
    // Changes that change nothing (the removal of keys long gone, at every
    // start) leave the file alone.
    const QByteArray text = document.toBytes();
    if (text != current->bytes) {
        if (m_beforeReplace)
            m_beforeReplace();
        // Another writer holds no lock of ours: its write between our read
        // and our rename would be lost with the file we replace.
        if (auto error =
                atomicfile::replace(m_path, text, [&] { return changedSince(m_path, *current); }))
            return error;
    }
    m_unsaved.clear();
    m_document = std::move(document);
    m_loadProblem.reset();
    return std::nullopt;
}

} // namespace tovalit
