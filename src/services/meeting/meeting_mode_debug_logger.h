#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>

class QThreadPool;

namespace tovalit {

// The meeting log, Diagnostics/meeting-mode-debug.log in the data folder:
// what the live stream did and how every summary tick was decided, so a
// meeting's summary can be reconstructed afterwards. Written whatever the
// diagnostics switch says. Records are appended on one writer thread, in
// the order they were handed over, each with a single write on an append
// descriptor, so two records never interleave; a record that cannot be
// written is dropped and nobody is told.
class MeetingModeDebugLogger {
public:
    // Entry into meeting mode and the live recogniser's breaks and
    // recoveries.
    struct StreamRecord {
        QDateTime timestamp;
        QUuid sessionID;
        QString event;
        QString detail;
        // Characters of the trimmed live transcript.
        qsizetype liveTranscriptCharacters = 0;
    };

    // One summary tick that reached the model.
    struct DecisionRecord {
        QDateTime timestamp;
        QUuid sessionID;
        QString rangeLabel;
        int pendingSeconds = 0;
        bool mustDecide = false;
        QString result;
        QString currentStageTitle;
        QStringList currentStageModules;
        QStringList previousStages;
        QString recentContext;
        QString currentWindow;
        QString response;
    };

    // The application's logger, created on first use and kept for the life
    // of the process.
    static MeetingModeDebugLogger &shared();

    MeetingModeDebugLogger();
    ~MeetingModeDebugLogger();
    MeetingModeDebugLogger(const MeetingModeDebugLogger &) = delete;
    MeetingModeDebugLogger &operator=(const MeetingModeDebugLogger &) = delete;

    // Queues one record and returns at once; a final line feed is added
    // when the record lacks one.
    void append(QString record);
    // Blocks until every record handed over so far is written or dropped.
    void flush();

    // The log file's path; creates the data folder and its Diagnostics
    // folder when missing. Throws DataFolderError when they cannot be made.
    static QString logFileURL();

    // The record texts, every line ended by a line feed.
    static QString streamRecordText(const StreamRecord &record);
    static QString decisionRecordText(const DecisionRecord &record);

    // A free text made fit for one line: line feeds as spaces, trimmed,
    // cut to `limit` characters followed by "...", "<empty>" when nothing
    // is left.
    static QString clipped(const QString &text, qsizetype limit);

    static constexpr const char *diagnosticsFolderName = "Diagnostics";
    static constexpr const char *logFileName = "meeting-mode-debug.log";

private:
    // Runs on the writer thread; false when the record was dropped.
    static bool write(const QByteArray &bytes);

    // One thread: the pool's queue keeps the records in order.
    std::unique_ptr<QThreadPool> m_writer;
};

} // namespace tovalit
