#include "services/history/history_store.h"

#include "platform/audio_file_error.h"
#include "platform/audio_file_reader.h"
#include "services/history/history_file_codec.h"
#include "services/history/transcript_file_format.h"
#include "services/history/unfinished_recording_journal.h"
#include "services/settings/tovalit_debug_logger.h"
#include "support/atomic_file.h"
#include "support/data_folder.h"
#include "support/guarded_data_file.h"
#include "support/json_text.h"
#include "support/path_presence.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <variant>

namespace tovalit {

namespace {

const QString historyFileName = QStringLiteral("history.json");
const QString recordingsFolderName = QStringLiteral("recordings");
const QString transcriptsFolderName = QStringLiteral("transcripts");
const QString unfinishedFolderName = QStringLiteral("unfinished");
const QString recordingSuffix = QStringLiteral(".m4a");

// Whether a history file is there to read; one that cannot be looked at
// fails as a read does, lest it pass for none and be written over.
bool isThere(const QString &path) {
    const PathPresence presence = PathPresence::of(path, PathPresence::Links::follow);
    if (presence.kind == PathPresence::Kind::unknown)
        throw HistoryStoreError(HistoryStoreError::Kind::readFailed, path, presence.problem);
    return presence.kind == PathPresence::Kind::present;
}

QByteArray readWhole(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw HistoryStoreError(HistoryStoreError::Kind::readFailed, path, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw HistoryStoreError(HistoryStoreError::Kind::readFailed, path, file.errorString());
    return bytes;
}

void writeAtomically(const QString &path, const QByteArray &bytes) {
    if (const auto error = atomicfile::replace(path, bytes))
        throw HistoryStoreError(HistoryStoreError::Kind::writeFailed, path, *error);
}

void makeFolder(const QString &path) {
    if (!QFileInfo(path).isDir() && !QDir().mkpath(path))
        throw HistoryStoreError(HistoryStoreError::Kind::folderUnavailable, path);
}

// The order of the ids' upper-case text: the fields compared as unsigned
// numbers, which is what fixed-width hexadecimal text compares as.
int compareIdText(const QUuid &a, const QUuid &b) {
    if (a.data1 != b.data1)
        return a.data1 < b.data1 ? -1 : 1;
    if (a.data2 != b.data2)
        return a.data2 < b.data2 ? -1 : 1;
    if (a.data3 != b.data3)
        return a.data3 < b.data3 ? -1 : 1;
    return std::memcmp(a.data4, b.data4, sizeof a.data4);
}

std::optional<QString> plainName(const std::optional<QString> &name) {
    if (name && HistoryStore::isPlainFileName(*name))
        return name;
    return std::nullopt;
}

// Names in a folder, hidden ones left out, without a stat per entry (a
// history holds thousands of transcripts). Nothing when it cannot be read.
// The temporaries of unfinished saves, which are hidden, go to
// `temporaries` when it is given.
std::optional<QStringList> listFolder(const QString &folder, QStringList *temporaries = nullptr) {
    DIR *directory = ::opendir(QFile::encodeName(folder).constData());
    if (!directory)
        return std::nullopt;
    QStringList names;
    while (const dirent *entry = ::readdir(directory)) {
        if (entry->d_name[0] == '.') {
            if (temporaries) {
                const QString name = QFile::decodeName(entry->d_name);
                if (atomicfile::isTemporaryName(name))
                    temporaries->append(name);
            }
            continue;
        }
        names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(directory);
    return names;
}

// The whole file, or nothing when it cannot be read. One open, reads into
// a growing buffer, one close: no stat of its own.
std::optional<QByteArray> readSmallFile(const QString &path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes(4096, Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() * 2);
        const ssize_t count = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (count == 0)
            break;
        filled += count;
    }
    ::close(fd);
    bytes.truncate(filled);
    return bytes;
}

} // namespace

// Names with how many holds each; a name leaves when its last hold goes.
struct HistoryStore::HeldRecordings {
    std::mutex mutex;
    QHash<QString, int> counts;
};

HistoryStoreError::HistoryStoreError(Kind kind, QString path, QString detail)
    : m_kind(kind)
    , m_path(std::move(path))
    , m_detail(std::move(detail)) {}

QString HistoryStoreError::localizedDescription() const {
    QString text;
    switch (m_kind) {
    case Kind::folderUnavailable:
        text = QStringLiteral("无法创建历史记录文件夹");
        break;
    case Kind::readFailed:
        text = QStringLiteral("无法读取历史记录");
        break;
    case Kind::writeFailed:
        text = QStringLiteral("无法保存历史记录");
        break;
    case Kind::listFailed:
        text = QStringLiteral("无法读取历史记录文件夹");
        break;
    }
    if (m_path.isEmpty())
        return joinedWithDetail(text, m_detail);
    return joinedWithDetail(text, m_detail.isEmpty() ? m_path
                                                     : m_path + QStringLiteral("（") + m_detail +
                                                           QStringLiteral("）"));
}

HistoryStore::HistoryStore(std::optional<QString> baseDirectory, Clock currentDate)
    : m_baseDirectory(std::move(baseDirectory))
    , m_currentDate(std::move(currentDate))
    , m_heldRecordings(std::make_shared<HeldRecordings>()) {
    m_worker.setMaxThreadCount(1);
}

HistoryStore::~HistoryStore() {
    m_worker.waitForDone();
}

HistoryStore &HistoryStore::shared() {
    static HistoryStore store;
    return store;
}

template <typename Work>
QCoro::Task<std::invoke_result_t<Work &>> HistoryStore::runSerially(Work work) {
    using Result = std::invoke_result_t<Work &>;
    constexpr bool isVoid = std::is_void_v<Result>;
    struct Outcome {
        std::conditional_t<isVoid, std::monostate, std::optional<Result>> value;
        std::exception_ptr error;
    };
    QFuture<Outcome> future = QtConcurrent::run(&m_worker, [work = std::move(work)]() mutable {
        Outcome outcome;
        try {
            if constexpr (isVoid)
                work();
            else
                outcome.value = work();
        } catch (...) {
            outcome.error = std::current_exception();
        }
        return outcome;
    });
    Outcome outcome = co_await future;
    if (outcome.error)
        std::rethrow_exception(outcome.error);
    if constexpr (!isVoid)
        co_return std::move(*outcome.value);
}

// The public operations are plain functions that hand a closure to the
// one coroutine above: GCC 12 destroys a braced argument of a coroutine
// twice (`store.saveRecords({})`), and a plain function takes it safely.
QCoro::Task<QList<TranscriptRecord>> HistoryStore::loadRecords() {
    return runSerially([this] { return loadRecordsNow(true); });
}

QCoro::Task<void> HistoryStore::saveRecords(QList<TranscriptRecord> records) {
    return runSerially([this, records = std::move(records)] { saveRecordsNow(records, false); });
}

QCoro::Task<QList<TranscriptRecord>> HistoryStore::append(TranscriptRecord record,
                                                          std::shared_ptr<RecordingHold> hold) {
    return runSerially([this, record = std::move(record), hold = std::move(hold)] {
        QList<TranscriptRecord> history = appendNow(record);
        // Let go here, on the worker, before the next operation can run.
        // The recording has its record now, and no longer needs the words
        // kept for it.
        if (hold) {
            if (!hold->fileName().isEmpty() && isPlainFileName(hold->fileName()))
                UnfinishedRecordingJournal(unfinishedDirectory()).remove(hold->fileName());
            hold->release();
        }
        return history;
    });
}

QCoro::Task<QList<TranscriptRecord>> HistoryStore::deleteRecord(QUuid id) {
    return runSerially([this, id] { return deleteRecordsNow({id}); });
}

QCoro::Task<QList<TranscriptRecord>> HistoryStore::deleteRecords(QList<QUuid> ids) {
    return runSerially(
        [this, ids = QSet<QUuid>(ids.begin(), ids.end())] { return deleteRecordsNow(ids); });
}

QCoro::Task<void> HistoryStore::clearAllRecords() {
    return runSerially([this] { clearAllRecordsNow(); });
}

std::shared_ptr<RecordingHold> HistoryStore::holdRecording(QString fileName) {
    {
        std::lock_guard lock(m_heldRecordings->mutex);
        ++m_heldRecordings->counts[fileName];
    }
    return std::make_shared<RecordingHold>(
        [held = m_heldRecordings, fileName] {
            std::lock_guard lock(held->mutex);
            if (--held->counts[fileName] <= 0)
                held->counts.remove(fileName);
        },
        fileName);
}

bool HistoryStore::isHeld(const QString &fileName) const {
    std::lock_guard lock(m_heldRecordings->mutex);
    return m_heldRecordings->counts.contains(fileName);
}

void HistoryStore::keepWordsHeard(QString audioFileName, QDateTime startedAt, bool meeting,
                                  QString words) {
    if (!isPlainFileName(audioFileName))
        return;
    (void)QtConcurrent::run(&m_worker, [this, audioFileName, startedAt, meeting, words] {
        // A note written after the record would outlive it, and file the
        // recording a second time at the next start.
        if (!isHeld(audioFileName))
            return;
        std::optional<QString> problem;
        try {
            problem = UnfinishedRecordingJournal(unfinishedDirectory())
                          .write({audioFileName, startedAt, meeting, words});
        } catch (const HistoryStoreError &error) {
            problem = error.localizedDescription();
        }
        if (problem)
            TovalitDebugLogger::log(QStringLiteral("history.unfinished_note_failed"),
                                    audioFileName + QStringLiteral(": ") + *problem);
    });
}

QCoro::Task<QList<HistoryStore::UnfinishedRecording>> HistoryStore::unfinishedRecordings() {
    return runSerially([this] { return unfinishedRecordingsNow(); });
}

std::optional<QString> HistoryStore::takeSetAsideNotice() {
    std::lock_guard lock(m_noticeMutex);
    return std::exchange(m_setAsideNotice, std::nullopt);
}

QCoro::Task<QString> HistoryStore::recordingsDirectoryURL() {
    return runSerially([this] { return recordingsDirectory(); });
}

QCoro::Task<QString> HistoryStore::transcriptsDirectoryURL() {
    return runSerially([this] { return transcriptsDirectory(); });
}

QCoro::Task<std::optional<QString>> HistoryStore::audioFileURL(QString fileName) {
    return runSerially([this, fileName = std::move(fileName)]() -> std::optional<QString> {
        if (!isPlainFileName(fileName))
            return std::nullopt;
        return recordingsDirectory() + u'/' + fileName;
    });
}

QCoro::Task<std::optional<QString>> HistoryStore::transcriptFileURL(QString fileName) {
    return runSerially([this, fileName = std::move(fileName)]() -> std::optional<QString> {
        if (!isPlainFileName(fileName))
            return std::nullopt;
        return transcriptsDirectory() + u'/' + fileName;
    });
}

bool HistoryStore::isPlainFileName(QStringView name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

// --- Folders ----------------------------------------------------------------

QString HistoryStore::appSupportDirectory() const {
    if (m_baseDirectory) {
        makeFolder(*m_baseDirectory);
        return *m_baseDirectory;
    }
    try {
        return DataFolder::ensure();
    } catch (const DataFolderError &error) {
        throw HistoryStoreError(HistoryStoreError::Kind::folderUnavailable, QString(),
                                error.localizedDescription());
    }
}

QString HistoryStore::historyFilePath() const {
    return appSupportDirectory() + u'/' + historyFileName;
}

QString HistoryStore::subfolder(const QString &name) const {
    const QString path = appSupportDirectory() + u'/' + name;
    makeFolder(path);
    return path;
}

QString HistoryStore::recordingsDirectory() const {
    return subfolder(recordingsFolderName);
}

QString HistoryStore::transcriptsDirectory() const {
    return subfolder(transcriptsFolderName);
}

QString HistoryStore::unfinishedDirectory() const {
    // Created by the first note written into it.
    return appSupportDirectory() + u'/' + unfinishedFolderName;
}

void HistoryStore::ensureDirectories() const {
    recordingsDirectory();
    transcriptsDirectory();
}

// --- Loading and saving ---------------------------------------------------------

QList<TranscriptRecord> HistoryStore::readOrSetAsideStoredRecords(const QString &path,
                                                                  bool &setAside) const {
    setAside = false;
    if (!isThere(path))
        return {};
    // A file that cannot be read fails the load and stays as it is: the
    // reason may pass (a folder on the network, a permission). One read
    // whole that does not decode will not get better: the transcript
    // files stand in for it, and it is kept for the user to recover.
    HistoryFileCodec::Decoded decoded = HistoryFileCodec::decode(readWhole(path));
    if (decoded.problem.isEmpty())
        return std::move(decoded.records);
    const QString aside = setAsideNow(path);
    setAside = true;
    qWarning().noquote() << "history.json does not decode (" + decoded.problem + "); set aside as"
                         << aside;
    // The copy's name in full, which the window's toast never cuts, where
    // it sits beside history.json in the data folder; through a link it
    // sits where the file is kept, which only its whole path says.
    const bool besideTheFile =
        QFileInfo(aside).absolutePath() == QFileInfo(path).absolutePath();
    std::lock_guard lock(m_noticeMutex);
    m_setAsideNotice = QStringLiteral("历史记录文件无法解析，已从转写文件重建；原文件另存为：") +
                       (besideTheFile ? QFileInfo(aside).fileName()
                                      : QDir::toNativeSeparators(aside));
    return {};
}

QList<TranscriptRecord> HistoryStore::loadRecordsNow(bool saveChanges) const {
    const QString path = historyFilePath();
    atomicfile::removeStaleTemporaries(path);
    bool setAside = false;
    const QList<TranscriptRecord> stored = readOrSetAsideStoredRecords(path, setAside);
    const QList<TranscriptRecord> rebuilt = recoverRecordsFromTranscriptFiles();
    QList<TranscriptRecord> merged = mergeRecordGroups({stored, rebuilt});
    if (saveChanges && (setAside || merged != stored))
        saveLoadedRecordsBack(merged);
    return merged;
}

void HistoryStore::saveLoadedRecordsBack(const QList<TranscriptRecord> &records) const {
    // Only a tidier form of what the files already hold: the records were
    // read, and a full or read-only disk must not keep them from the user.
    // The next save tries again, and its own failure is reported.
    try {
        saveRecordsNow(records, true);
    } catch (const HistoryStoreError &error) {
        const QString description = error.localizedDescription();
        qWarning().noquote() << "history loaded, but not written back:" << description;
        TovalitDebugLogger::log(QStringLiteral("history.write_back_failed"), description);
    }
}

void HistoryStore::saveRecordsNow(const QList<TranscriptRecord> &records,
                                  bool historyKnownReadable) const {
    ensureDirectories();
    const QByteArray text = HistoryFileCodec::encode(mergeRecordGroups({records}));
    const QString path = historyFilePath();
    if (!historyKnownReadable)
        setAsideIfUnreadable(path);
    writeAtomically(path, text);
}

void HistoryStore::setAsideIfUnreadable(const QString &path) const {
    if (!isThere(path))
        return;
    try {
        if (HistoryFileCodec::decode(readWhole(path)).problem.isEmpty())
            return;
    } catch (const HistoryStoreError &) {
    }
    setAsideNow(path);
}

QString HistoryStore::setAsideNow(const QString &path) const {
    // The file itself goes aside, beside itself: a history kept elsewhere
    // (a synced folder) through a link keeps its link, and the rebuilt
    // history is written where the user keeps it.
    const QString target = atomicfile::linkTarget(path);
    const QString aside = GuardedDataFile::setAsidePath(target, m_currentDate());
    if (!QFile::rename(target, aside))
        throw HistoryStoreError(HistoryStoreError::Kind::writeFailed, path,
                                QStringLiteral("无法移开无法解析的旧文件"));
    return aside;
}

// --- Appending, deleting, clearing ----------------------------------------------

QList<TranscriptRecord> HistoryStore::appendNow(const TranscriptRecord &record) const {
    // The transcript file first: should the history fail to load or save,
    // the record still comes back from it on a later load.
    const TranscriptRecord persisted = recordPersistingTranscriptFile(record);
    // The load's own write-back would be replaced by the save below at once.
    const QList<TranscriptRecord> stored = loadRecordsNow(false);
    QList<TranscriptRecord> merged = mergeRecordGroups({{persisted}, stored});
    saveRecordsNow(merged, true);
    return merged;
}

QList<TranscriptRecord> HistoryStore::deleteRecordsNow(const QSet<QUuid> &ids) const {
    const QList<TranscriptRecord> records = loadRecordsNow(false);
    QSet<QString> audioNames;
    QSet<QString> transcriptNames;
    QList<TranscriptRecord> remaining;
    for (const TranscriptRecord &record : records) {
        if (ids.contains(record.id)) {
            if (const auto name = plainName(record.audioFileName))
                audioNames.insert(*name);
            if (const auto name = plainName(record.transcriptFileName))
                transcriptNames.insert(*name);
        } else {
            remaining.append(record);
        }
    }
    for (const TranscriptRecord &record : std::as_const(remaining)) {
        if (record.audioFileName)
            audioNames.remove(*record.audioFileName);
        if (record.transcriptFileName)
            transcriptNames.remove(*record.transcriptFileName);
    }
    // Saved before any file goes: a failed save deletes nothing.
    saveRecordsNow(remaining, true);
    removeFiles(recordingsDirectory(), audioNames, m_heldRecordings.get());
    removeFiles(transcriptsDirectory(), transcriptNames);
    return remaining;
}

void HistoryStore::removeFiles(const QString &folder, const QSet<QString> &names,
                               HeldRecordings *held) const {
    for (const QString &name : names) {
        const QFileInfo entry(folder + u'/' + name);
        if (entry.exists() && (!entry.isDir() || entry.isSymLink()))
            removeUnlessHeld(entry, held);
    }
}

void HistoryStore::removeUnlessHeld(const QFileInfo &entry, HeldRecordings *held) {
    // Decided and done under the lock: a hold taken before the check spares
    // the file, one taken after finds it gone, as the user asked.
    std::unique_lock<std::mutex> lock;
    if (held) {
        lock = std::unique_lock(held->mutex);
        if (held->counts.contains(entry.fileName()))
            return;
    }
    if (entry.isDir() && !entry.isSymLink())
        QDir(entry.filePath()).removeRecursively();
    else
        QFile::remove(entry.filePath());
}

void HistoryStore::clearAllRecordsNow() const {
    saveRecordsNow({}, false);
    clearDirectory(recordingsDirectory(), m_heldRecordings.get());
    clearDirectory(transcriptsDirectory());
}

void HistoryStore::clearDirectory(const QString &folder, HeldRecordings *held) const {
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable())
        throw HistoryStoreError(HistoryStoreError::Kind::listFailed, folder);
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries)
        removeUnlessHeld(entry, held);
}

// --- Recordings left without a record ---------------------------------------------

namespace {

// Seconds of audio the recording holds; 0 when none decodes. A recording
// cut off by the end of its process ends with its last whole fragment.
double recordedSeconds(const QString &path) {
    try {
        AudioFileReader reader(path);
        const double rate = reader.processingFormat().sampleRate;
        qint64 frames = 0;
        for (;;) {
            const PcmBuffer buffer = reader.read(16384);
            if (buffer.frameLength() == 0)
                break;
            frames += buffer.frameLength();
        }
        return rate > 0 ? double(frames) / rate : 0.0;
    } catch (const AudioFileError &) {
        return 0.0;
    }
}

// When the recording began: as noted, else as the file system knows it.
QDateTime recordingStart(const QFileInfo &file, const QDateTime &noted, double seconds) {
    if (noted.isValid())
        return noted;
    if (file.birthTime().isValid())
        return file.birthTime().toUTC();
    return file.lastModified().toUTC().addMSecs(-qint64(seconds * 1000.0));
}

} // namespace

QList<HistoryStore::UnfinishedRecording> HistoryStore::unfinishedRecordingsNow() const {
    QSet<QString> named;
    for (const TranscriptRecord &record : loadRecordsNow(false)) {
        if (record.audioFileName)
            named.insert(*record.audioFileName);
    }
    const QString folder = recordingsDirectory();
    const UnfinishedRecordingJournal journal(unfinishedDirectory());
    QList<UnfinishedRecording> found;
    for (const QString &name : listFolder(folder).value_or(QStringList())) {
        if (!name.endsWith(recordingSuffix, Qt::CaseInsensitive) || named.contains(name) ||
            isHeld(name))
            continue;
        const QFileInfo file(folder + u'/' + name);
        if (!file.isFile())
            continue;
        // Without a note the recording was never marked as on its way to a
        // record: a record that lost its link to it (a history rebuilt from
        // the transcript files) or a file put there by hand. Left alone.
        const std::optional<UnfinishedRecordingJournal::Entry> entry = journal.read(name);
        if (!entry)
            continue;
        const double seconds = recordedSeconds(file.filePath());
        const QString words = textkit::trimmed(entry->transcript);
        if (!(seconds > 0) && words.isEmpty()) {
            TovalitDebugLogger::log(QStringLiteral("history.unfinished_empty"), name);
            continue;
        }
        found.append({name, file.filePath(), seconds,
                      recordingStart(file, entry->startedAt, seconds), entry->meeting, words});
    }
    // Notes of recordings that were filed, or discarded, after the note.
    for (const QString &name : journal.audioFileNames()) {
        if (!isHeld(name) && (named.contains(name) || !QFileInfo::exists(folder + u'/' + name)))
            journal.remove(name);
    }
    std::sort(found.begin(), found.end(),
              [](const auto &a, const auto &b) { return a.createdAt < b.createdAt; });
    return found;
}

// --- Transcript files ---------------------------------------------------------------

TranscriptRecord
HistoryStore::recordPersistingTranscriptFile(const TranscriptRecord &record) const {
    const QString text = textkit::trimmed(record.transcript);
    if (text.isEmpty())
        return record;
    const QString name = plainName(record.transcriptFileName)
                             .value_or(uuidtext::upper(record.id) + QStringLiteral(".txt"));
    writeAtomically(transcriptsDirectory() + u'/' + name,
                    TranscriptFileFormat::transcriptFileContents(record, text).toUtf8());
    TranscriptRecord persisted = record;
    persisted.transcriptFileName = name;
    return persisted;
}

QList<TranscriptRecord> HistoryStore::recoverRecordsFromTranscriptFiles() const {
    const QString folder = transcriptsDirectory();
    QStringList temporaries;
    const auto entries = listFolder(folder, &temporaries);
    if (!entries)
        throw HistoryStoreError(HistoryStoreError::Kind::listFailed, folder);
    atomicfile::removeStaleTemporaries(folder, temporaries);

    struct Candidate {
        QUuid id;
        QString name;
    };
    std::vector<Candidate> candidates;
    for (const QString &name : *entries) {
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot <= 0 || name.sliced(dot + 1).compare(u"txt", Qt::CaseInsensitive) != 0)
            continue;
        if (const auto id = uuidtext::parse(QStringView(name).first(dot)))
            candidates.push_back({*id, name});
    }
    if (candidates.empty())
        return {};

    // Records whose recordings folder cannot be had are skipped; checking
    // it once stands for checking it per record. One listing then answers
    // every "is its recording there?".
    QSet<QString> recordings;
    try {
        const QStringList names = listFolder(recordingsDirectory()).value_or(QStringList());
        recordings = QSet<QString>(names.begin(), names.end());
    } catch (const HistoryStoreError &) {
        return {};
    }

    // A long history has thousands of files; reading and parsing them is
    // spread over the cores, the results kept in listing order.
    const QDateTime now = m_currentDate();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    std::vector<std::optional<TranscriptRecord>> rebuilt(candidates.size());
    const auto rebuild = [&](std::optional<TranscriptRecord> &slot) {
        const Candidate &candidate = candidates[&slot - rebuilt.data()];
        const QString path = folder + u'/' + candidate.name;
        const auto bytes = readSmallFile(path);
        const auto contents = bytes ? textkit::decodeUtf8Strict(*bytes) : std::nullopt;
        if (!contents)
            return;
        const TranscriptFileFields fields = TranscriptFileFormat::parse(*contents, now, zone);

        std::optional<QString> audioFileName;
        const QString expectedAudio = uuidtext::upper(candidate.id) + QStringLiteral(".m4a");
        if (recordings.contains(expectedAudio))
            audioFileName = expectedAudio;

        QDateTime createdAt;
        if (fields.createdAt) {
            createdAt = *fields.createdAt;
        } else {
            const QFileInfo info(path);
            if (info.birthTime().isValid())
                createdAt = info.birthTime();
            else if (info.lastModified().isValid())
                createdAt = info.lastModified();
            else
                createdAt = now;
        }
        slot = TranscriptRecord{
            candidate.id,  createdAt,      fields.duration, fields.transcript, fields.rawTranscript,
            audioFileName, candidate.name, fields.status,   fields.note};
    };
    QtConcurrent::blockingMap(rebuilt, rebuild);

    QList<TranscriptRecord> records;
    records.reserve(qsizetype(rebuilt.size()));
    for (auto &record : rebuilt) {
        if (record)
            records.append(std::move(*record));
    }
    return records;
}

// --- Merging ------------------------------------------------------------------------

namespace {

// Fills the gaps of `entry` from `fallback`; id, date and status stay.
void fillGaps(TranscriptRecord &entry, const TranscriptRecord &fallback) {
    if (!(entry.duration > 0))
        entry.duration = fallback.duration;
    if (textkit::isBlank(entry.transcript))
        entry.transcript = fallback.transcript;
    for (auto field : {&TranscriptRecord::rawTranscript, &TranscriptRecord::audioFileName,
                       &TranscriptRecord::transcriptFileName, &TranscriptRecord::note}) {
        if (!(entry.*field))
            entry.*field = fallback.*field;
    }
}

} // namespace

TranscriptRecord HistoryStore::mergeRecord(const TranscriptRecord &preferred,
                                           const TranscriptRecord &fallback) {
    TranscriptRecord merged = preferred;
    fillGaps(merged, fallback);
    return merged;
}

QList<TranscriptRecord>
HistoryStore::mergeRecordGroups(const QList<QList<TranscriptRecord>> &groups) {
    qsizetype total = 0;
    for (const auto &group : groups)
        total += group.size();
    QList<TranscriptRecord> entries;
    entries.reserve(total);
    QHash<QUuid, qsizetype> indexByID;
    indexByID.reserve(total);
    for (const auto &group : groups) {
        for (const TranscriptRecord &record : group) {
            const auto found = indexByID.constFind(record.id);
            if (found == indexByID.constEnd()) {
                indexByID.insert(record.id, entries.size());
                entries.append(record);
            } else {
                fillGaps(entries[*found], record);
            }
        }
    }

    struct Key {
        qint64 createdAt;
        qsizetype index;
    };
    std::vector<Key> keys;
    keys.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i)
        keys.push_back({entries[i].createdAt.toMSecsSinceEpoch(), i});
    std::sort(keys.begin(), keys.end(), [&entries](const Key &a, const Key &b) {
        if (a.createdAt != b.createdAt)
            return a.createdAt > b.createdAt;
        return compareIdText(entries[a.index].id, entries[b.index].id) > 0;
    });
    QList<TranscriptRecord> sorted;
    sorted.reserve(entries.size());
    for (const Key &key : keys)
        sorted.append(std::move(entries[key.index]));
    return sorted;
}

} // namespace tovalit
