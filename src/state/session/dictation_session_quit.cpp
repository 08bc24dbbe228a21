// Quitting with a dictation under way: it is filed, finished or not, so
// that nothing the user said disappears with the process.

#include "services/history/history_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/transcriber_view_model.h"

#include <QDebug>
#include <QPointer>

namespace tovalit {

namespace {

bool isProcessing(const RecordingState &state) {
    return HotkeyActionResolver::phaseFor(state) == HotkeyActionResolver::Phase::processing;
}

} // namespace

QCoro::Task<void> TranscriberViewModel::finishDictationBeforeQuit(double graceSeconds,
                                                                  CancelToken hurry) {
    if (m_recordingState.is(RecordingState::Case::recording)) {
        // Finishing it would type its text into whatever has the focus
        // after the user asked to quit; its recording is kept for a retry.
        const std::optional<RecordingSessionOutput> output = endRecordingCapture(true);
        // The recording is the quit's now: a press while it is filed must
        // not stop it a second time, nor cancel it.
        setRecordingState(RecordingState::thinking());
        co_await fileDictationCancelledByQuit(output);
        co_return;
    }
    if (!isProcessing(m_recordingState))
        co_return;

    CancelToken settled;
    const QMetaObject::Connection watch =
        connect(this, &TranscriberViewModel::recordingStateChanged, this,
                [settled](const RecordingState &state) {
                    if (!isProcessing(state))
                        settled.cancel();
                });
    const CancelSubscription hurried = hurry.onCancel([settled] { settled.cancel(); });
    const QPointer<TranscriberViewModel> alive(this);
    co_await m_sleepForDuration(graceSeconds, settled);
    if (!alive)
        co_return;
    disconnect(watch);
    // A retry leaves the record it retries as it was, and a stop whose
    // record is already with the history store has nothing left to lose.
    if (!isProcessing(m_recordingState) || !m_unfiledStop)
        co_return;
    const std::optional<RecordingSessionOutput> output = m_unfiledStop->output;
    m_unfiledStop.reset();
    co_await fileDictationCancelledByQuit(output);
}

bool TranscriberViewModel::isStopUnfiled(const QUuid &sessionID) const {
    return m_unfiledStop && m_unfiledStop->sessionID == sessionID;
}

QCoro::Task<void>
TranscriberViewModel::fileDictationCancelledByQuit(std::optional<RecordingSessionOutput> output) {
    // Its recording stays out of a clearing until the record is saved.
    std::shared_ptr<RecordingHold> fileHold =
        output ? std::exchange(output->fileHold, nullptr) : nullptr;
    const std::optional<RecordingSessionOutput> retained = persistedRecordingOutput(output);
    QString message = QStringLiteral("退出 Tovalit 时本次转写尚未完成，已取消");
    if (retained && retained->audioURL)
        message += QStringLiteral("，可使用归档录音重试");
    const TranscriptRecord record =
        failedRecord(retained, m_finalTranscript, m_liveTranscript, message);
    clearSessionContext();
    resetMeetingModeSessionState();
    m_floatingPanelCoordinator->hide();
    const QPointer<TranscriberViewModel> alive(this);
    std::exception_ptr failure;
    QList<TranscriptRecord> records;
    try {
        records = co_await m_historyStore.append(record, std::move(fileHold));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!alive)
        co_return;
    if (failure) {
        const QString detail = QStringLiteral("the unfinished dictation could not be filed: ") +
                               describeError(failure);
        qWarning().noquote() << detail;
        TovalitDebugLogger::log(QStringLiteral("quit"), detail);
    } else {
        setRecords(std::move(records));
    }
    setLastResultMessage(message);
    setRecordingState(RecordingState::failed(message));
}

} // namespace tovalit
