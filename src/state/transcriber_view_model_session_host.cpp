// The controller's side of the dictation session's seams: what the session,
// its delivery and the retry of an archived recording ask of the meeting,
// the lexicon, the instructions, the history and the learning from edits,
// and the session's answers that the other concerns still ask of the
// controller.

#include "state/history/history_keeper.h"
#include "state/instructions/instruction_library_keeper.h"
#include "state/meeting/meeting_mode.h"
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
    m_meeting->resetMeetingModeSessionState();
}

void TranscriberViewModel::stopMeetingTasks() {
    m_meeting->stopMeetingModeRuntimeTasks();
}

MeetingHUDContent TranscriberViewModel::meetingPanelContent() const {
    return m_meeting->meetingHUDContent();
}

std::optional<QString> TranscriberViewModel::meetingCountdownToast() const {
    return m_meeting->meetingModeCountdownToastMessage();
}

void TranscriberViewModel::dismissMeetingAutoEntry() {
    m_meeting->cancelMeetingModeAutoEntry();
}

QCoro::Task<void> TranscriberViewModel::enterMeetingNow() {
    return m_meeting->enterMeetingModeIfNeeded();
}

void TranscriberViewModel::scheduleMeetingThreshold() {
    m_meeting->scheduleMeetingModeThresholdIfNeeded();
}

void TranscriberViewModel::followMeetingTranscript(const QString &transcript) {
    m_meeting->handleMeetingLiveTranscriptUpdate(transcript);
}

void TranscriberViewModel::logMeetingStream(const QString &event, const QString &detail) {
    m_meeting->logMeetingStreamEvent(event, detail);
}

QCoro::Task<FormattedText> TranscriberViewModel::summarizeMeeting(QString rawTranscript,
                                                                  QString normalizedTranscript) {
    return m_meeting->formatMeetingFinalSummary(std::move(rawTranscript),
                                                std::move(normalizedTranscript));
}

// --- The lexicon and learning -------------------------------------------------------

std::optional<VellupSpeechLexiconConfiguration>
TranscriberViewModel::compiledSpeechLexicon() const {
    return m_lexicon->compiledSpeechLexiconConfiguration();
}

void TranscriberViewModel::startHistoryLearning(TranscriptRecord record, QUuid followUpOf) {
    spawn(
        this,
        [this, record, followUpOf] {
            const QList<TranscriptRecord> learned{record};
            return m_lexicon->processHistoryLexiconRecords(learned, false, followUpOf);
        },
        QStringLiteral("history learning"));
}

QCoro::Task<void>
TranscriberViewModel::handleObservedInsertionEdit(ObservedInsertionEditEvent event) {
    return m_editLearning->handleObservedInsertionEditEvent(std::move(event));
}

// --- The instructions ---------------------------------------------------------------

QCoro::Task<InstructionRoutingResult> TranscriberViewModel::routeInstruction(QString transcript) {
    return m_instructionLibrary->routeIfNeeded(std::move(transcript));
}

// --- The history --------------------------------------------------------------------

QCoro::Task<void> TranscriberViewModel::appendToHistory(TranscriptRecord record,
                                                        std::shared_ptr<RecordingHold> fileHold) {
    return m_history->file(std::move(record), std::move(fileHold));
}

void TranscriberViewModel::keepWordsHeard(const QString &audioFileName, const QDateTime &startedAt,
                                          bool meeting, const QString &words) {
    m_history->keepWordsHeard(audioFileName, startedAt, meeting, words);
}

TranscriptRecord TranscriberViewModel::storedRecord(const TranscriptRecord &record) const {
    return m_history->storedVersion(record);
}

std::optional<RecordingSessionOutput>
TranscriberViewModel::retainedRecordingOutput(std::optional<RecordingSessionOutput> output) const {
    return m_history->persistedRecordingOutput(std::move(output));
}

TranscriptRecord
TranscriberViewModel::failedDictationRecord(const std::optional<RecordingSessionOutput> &output,
                                            const QString &transcript, const QString &rawTranscript,
                                            const QString &message) const {
    return m_history->failedRecord(output, transcript, rawTranscript, message);
}

// --- The retry of an archived recording ---------------------------------------------

void TranscriberViewModel::retryRecord(const TranscriptRecord &record) {
    m_retry->retryRecord(record);
}

QCoro::Task<void> TranscriberViewModel::retryArchivedRecording(TranscriptRecord record) {
    return m_retry->retryArchivedRecording(std::move(record));
}

std::shared_ptr<RecordingHold> TranscriberViewModel::holdRecording(const QString &fileName) {
    return m_history->holdRecording(fileName);
}

QCoro::Task<std::optional<QString>> TranscriberViewModel::audioFileURL(QString fileName) {
    return m_history->audioFileURL(std::move(fileName));
}

void TranscriberViewModel::beginRetry(const QUuid &retriedID) {
    m_history->beginRetry(retriedID);
}

void TranscriberViewModel::noteRetryFiled(const QUuid &filedID) {
    m_history->noteRetryFiled(filedID);
}

QCoro::Task<void> TranscriberViewModel::finishRetry() {
    return m_history->finishRetry();
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
