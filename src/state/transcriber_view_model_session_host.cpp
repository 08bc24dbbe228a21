// The controller's side of the dictation session's seams: what the session
// and its delivery ask of the meeting, the lexicon, the instructions, the
// history and the learning from edits, and the session's answers that the
// other concerns still ask of the controller.

#include "services/history/history_store.h"
#include "state/transcriber_view_model.h"

#include <QPointer>

namespace tovalit {

// --- Published values ---------------------------------------------------------------

QMetaObject::Connection
TranscriberViewModel::onRecordingStateChanged(QObject *context,
                                              std::function<void(const RecordingState &)> handler) {
    return connect(this, &TranscriberViewModel::recordingStateChanged, context, std::move(handler));
}

// --- The meeting --------------------------------------------------------------------

void TranscriberViewModel::resetMeetingSession() {
    resetMeetingModeSessionState();
}

void TranscriberViewModel::stopMeetingTasks() {
    stopMeetingModeRuntimeTasks();
}

MeetingHUDContent TranscriberViewModel::meetingPanelContent() const {
    return meetingHUDContent();
}

std::optional<QString> TranscriberViewModel::meetingCountdownToast() const {
    return meetingModeCountdownToastMessage();
}

void TranscriberViewModel::dismissMeetingAutoEntry() {
    cancelMeetingModeAutoEntry();
}

QCoro::Task<void> TranscriberViewModel::enterMeetingNow() {
    return enterMeetingModeIfNeeded();
}

void TranscriberViewModel::scheduleMeetingThreshold() {
    scheduleMeetingModeThresholdIfNeeded();
}

void TranscriberViewModel::followMeetingTranscript(const QString &transcript) {
    handleMeetingLiveTranscriptUpdate(transcript);
}

void TranscriberViewModel::logMeetingStream(const QString &event, const QString &detail) {
    logMeetingStreamEvent(event, detail);
}

QCoro::Task<FormattedText> TranscriberViewModel::summarizeMeeting(QString rawTranscript,
                                                                  QString normalizedTranscript) {
    return formatMeetingFinalSummary(std::move(rawTranscript), std::move(normalizedTranscript));
}

// --- The lexicon and learning -------------------------------------------------------

std::optional<VellupSpeechLexiconConfiguration>
TranscriberViewModel::compiledSpeechLexicon() const {
    return compiledSpeechLexiconConfiguration();
}

void TranscriberViewModel::startHistoryLearning(TranscriptRecord record, QUuid followUpOf) {
    spawn(
        this,
        [this, record, followUpOf] {
            const QList<TranscriptRecord> learned{record};
            return processHistoryLexiconRecords(learned, false, followUpOf);
        },
        QStringLiteral("history learning"));
}

QCoro::Task<void>
TranscriberViewModel::handleObservedInsertionEdit(ObservedInsertionEditEvent event) {
    return handleObservedInsertionEditEvent(std::move(event));
}

// --- The instructions ---------------------------------------------------------------

QCoro::Task<InstructionRoutingResult> TranscriberViewModel::routeInstruction(QString transcript) {
    return routeInstructionLibraryIfNeeded(std::move(transcript));
}

// --- The history --------------------------------------------------------------------

QCoro::Task<void> TranscriberViewModel::appendToHistory(TranscriptRecord record,
                                                        std::shared_ptr<RecordingHold> fileHold) {
    // The store finishes what it was given even when the application quits
    // meanwhile; only a controller still there publishes the outcome.
    const QPointer<TranscriberViewModel> alive(this);
    QList<TranscriptRecord> records =
        co_await m_historyStore.append(std::move(record), std::move(fileHold));
    if (alive)
        setRecords(std::move(records));
}

TranscriptRecord TranscriberViewModel::storedRecord(const TranscriptRecord &record) const {
    return storedVersion(record);
}

TranscriptRecord TranscriberViewModel::storedVersion(const TranscriptRecord &record) const {
    for (const TranscriptRecord &stored : m_records) {
        if (stored.id == record.id)
            return stored;
    }
    return record;
}

std::optional<RecordingSessionOutput>
TranscriberViewModel::retainedRecordingOutput(std::optional<RecordingSessionOutput> output) const {
    return persistedRecordingOutput(std::move(output));
}

TranscriptRecord
TranscriberViewModel::failedDictationRecord(const std::optional<RecordingSessionOutput> &output,
                                            const QString &transcript, const QString &rawTranscript,
                                            const QString &message) const {
    return failedRecord(output, transcript, rawTranscript, message);
}

// --- The session's answers ----------------------------------------------------------

void TranscriberViewModel::setEngineStatusNote(QString note) {
    m_session->setEngineStatusNote(std::move(note));
}

QString TranscriberViewModel::presentableGatewayFailureMessage(std::exception_ptr error) const {
    return m_gatewayRecovery->presentableFailureMessage(error);
}

bool TranscriberViewModel::isSilencedFollowUp(const QUuid &followUpOf) const {
    return m_session->isSilencedFollowUp(followUpOf);
}

QString TranscriberViewModel::cleanedOrTrimmed(const QString &trimmed) const {
    return m_delivery->cleanedOrTrimmed(trimmed);
}

QString TranscriberViewModel::describeFormatterTarget(
    const std::optional<VellupStructuredFormatterConfiguration> &used) const {
    return m_delivery->describeFormatterTarget(used);
}

} // namespace tovalit
