#include "services/meeting/meeting_mode_debug_logger.h"

#include "support/append_to_file.h"
#include "support/data_folder.h"
#include "support/iso8601.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <QThreadPool>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tovalit {

namespace {

constexpr qsizetype detailLimit = 320;
constexpr qsizetype recentContextLimit = 220;
constexpr qsizetype windowLimit = 420;

QString orNone(const QString &text) {
    return text.isEmpty() ? QStringLiteral("<none>") : text;
}

QString joinedOrNone(const QStringList &texts, const QString &separator) {
    return texts.isEmpty() ? QStringLiteral("<none>") : texts.join(separator);
}

// Every line followed by a line feed, the last one included.
QString recordText(const QStringList &lines) {
    return lines.join(u'\n') + u'\n';
}

} // namespace

MeetingModeDebugLogger &MeetingModeDebugLogger::shared() {
    // Never destroyed: a writer thread must not outlive the statics it
    // uses at exit, and records still queued then are expendable.
    static MeetingModeDebugLogger *instance = new MeetingModeDebugLogger;
    return *instance;
}

MeetingModeDebugLogger::MeetingModeDebugLogger()
    : m_writer(std::make_unique<QThreadPool>()) {
    m_writer->setObjectName(QStringLiteral("MeetingModeDebugLogger"));
    m_writer->setMaxThreadCount(1);
}

MeetingModeDebugLogger::~MeetingModeDebugLogger() {
    m_writer->waitForDone();
}

void MeetingModeDebugLogger::append(QString record) {
    if (!record.endsWith(u'\n'))
        record += u'\n';
    m_writer->start([bytes = record.toUtf8()] { write(bytes); });
}

void MeetingModeDebugLogger::flush() {
    m_writer->waitForDone();
}

QString MeetingModeDebugLogger::logFileURL() {
    // Through the data folder, so a former folder is moved into place
    // rather than shadowed by a fresh one the log would create.
    return DataFolder::ensureSubfolder(QLatin1String(diagnosticsFolderName)) + u'/' +
           QLatin1String(logFileName);
}

bool MeetingModeDebugLogger::write(const QByteArray &bytes) {
    QString path;
    try {
        path = logFileURL();
    } catch (const DataFolderError &) {
        return false;
    }
    // A record lands whole after whatever is there, the first one
    // creating the file.
    return appendToFile(path, bytes, 0644);
}

QString MeetingModeDebugLogger::clipped(const QString &text, qsizetype limit) {
    QString flattened = text;
    flattened.replace(u'\n', u' ');
    flattened = textkit::trimmed(flattened);
    if (flattened.isEmpty())
        return QStringLiteral("<empty>");
    if (textkit::graphemeCount(flattened) > limit)
        return textkit::graphemePrefix(flattened, limit) + QStringLiteral("...");
    return flattened;
}

QString MeetingModeDebugLogger::streamRecordText(const StreamRecord &record) {
    return recordText({
        u'[' + iso8601::formatUtcSeconds(record.timestamp) + QStringLiteral("] [meeting.stream]"),
        QStringLiteral("session_id=") + uuidtext::upper(record.sessionID),
        QStringLiteral("event=") + record.event,
        QStringLiteral("detail=") + clipped(record.detail, detailLimit),
        QStringLiteral("live_transcript_chars=") + QString::number(record.liveTranscriptCharacters),
    });
}

QString MeetingModeDebugLogger::decisionRecordText(const DecisionRecord &record) {
    // The stage lines are written as they are, line feeds and all: they
    // are the tree-language outlines the model was shown.
    return recordText({
        u'[' + iso8601::formatUtcSeconds(record.timestamp) +
            QStringLiteral("] [meeting.incremental]"),
        QStringLiteral("session_id=") + uuidtext::upper(record.sessionID),
        QStringLiteral("range=") + record.rangeLabel + QStringLiteral(" | pending_seconds=") +
            QString::number(record.pendingSeconds) + QStringLiteral(" | must_decide=") +
            (record.mustDecide ? QStringLiteral("true") : QStringLiteral("false")) +
            QStringLiteral(" | result=") + record.result,
        QStringLiteral("current_stage_title=") + orNone(record.currentStageTitle),
        QStringLiteral("current_stage_modules=") +
            joinedOrNone(record.currentStageModules, QStringLiteral(" || ")),
        QStringLiteral("previous_stages=") +
            joinedOrNone(record.previousStages, QStringLiteral(" ||| ")),
        QStringLiteral("recent_context=") + clipped(record.recentContext, recentContextLimit),
        QStringLiteral("current_window=") + clipped(record.currentWindow, windowLimit),
        QStringLiteral("response=") + clipped(record.response, windowLimit),
    });
}

} // namespace tovalit
