// Quitting with a dictation under way: it is filed, finished or not, so
// that nothing the user said disappears with the process.

#include "services/settings/tovalit_debug_logger.h"
#include "state/session/dictation_session.h"
#include "state/session/dictation_session_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "support/app_error.h"

#include <QDebug>
#include <QPointer>

namespace tovalit {

namespace {

bool isProcessing(const RecordingState &state) {
    return HotkeyActionResolver::phaseFor(state) == HotkeyActionResolver::Phase::processing;
}

} // namespace

QCoro::Task<void> DictationSession::finishDictationBeforeQuit(double graceSeconds,
                                                              CancelToken hurry) {
    if (m_host.recordingState().is(RecordingState::Case::recording)) {
        // Finishing it would type its text into whatever has the focus
        // after the user asked to quit; its recording is kept for a retry.
        const std::optional<RecordingSessionOutput> output = endRecordingCapture(true);
        // The recording is the quit's now: a press while it is filed must
        // not stop it a second time, nor cancel it.
        m_host.setRecordingState(RecordingState::thinking());
        co_await fileDictationEndedByQuit(output, false);
        co_return;
    }
    if (!isProcessing(m_host.recordingState()))
        co_return;

    // Settled once the stop is filed; waited, also when the quit can wait
    // no longer.
    CancelToken settled;
    CancelToken waited;
    const QMetaObject::Connection watch =
        m_host.onRecordingStateChanged(this, [settled, waited](const RecordingState &state) {
            if (!isProcessing(state)) {
                settled.cancel();
                waited.cancel();
            }
        });
    const CancelSubscription hurried = hurry.onCancel([waited] { waited.cancel(); });
    const QPointer<DictationSession> alive(this);
    co_await m_sleepForDuration(graceSeconds, waited);
    if (!alive)
        co_return;
    // Text on its way into the focused input is typed or not once the
    // insertion ends, and only then can the record say which. A desktop
    // service that hangs stretches the insertion's own limits to tens of
    // seconds, which a logout does not wait for: the typing gets a few
    // seconds more, then the record says what is known.
    if (isProcessing(m_host.recordingState()) && m_unfiledStop && m_unfiledStop->isInserting) {
        co_await m_sleepForDuration(typingCeilingSeconds, settled);
        if (!alive)
            co_return;
    }
    disconnect(watch);
    // A retry leaves the record it retries as it was, and a stop whose
    // record is already with the history store has nothing left to lose.
    if (!isProcessing(m_host.recordingState()) || !m_unfiledStop)
        co_return;
    const std::optional<RecordingSessionOutput> output = m_unfiledStop->output;
    const bool wasBeingTyped = m_unfiledStop->isInserting;
    m_unfiledStop.reset();
    co_await fileDictationEndedByQuit(output, wasBeingTyped);
}

bool DictationSession::isStopUnfiled(const QUuid &sessionID) const {
    return m_unfiledStop && m_unfiledStop->sessionID == sessionID;
}

bool DictationSession::beginInsertingStop(const QUuid &sessionID) {
    if (!isStopUnfiled(sessionID))
        return false;
    m_unfiledStop->isInserting = true;
    return true;
}

QCoro::Task<void>
DictationSession::fileDictationEndedByQuit(std::optional<RecordingSessionOutput> output,
                                           bool wasBeingTyped) {
    // Its recording stays out of a clearing until the record is saved.
    std::shared_ptr<RecordingHold> fileHold =
        output ? std::exchange(output->fileHold, nullptr) : nullptr;
    const std::optional<RecordingSessionOutput> retained = m_host.retainedRecordingOutput(output);
    QString message;
    if (wasBeingTyped) {
        // The text is whole and may be in the input already: the user is to
        // look, so the record is a warning, and its text is here either way.
        message = QStringLiteral("退出 Tovalit 时文本仍在输入，未能确认是否已插入");
    } else {
        message = QStringLiteral("退出 Tovalit 时本次转写尚未完成，已取消");
        if (retained && retained->audioURL)
            message += QStringLiteral("，可使用归档录音重试");
    }
    TranscriptRecord record = m_host.failedDictationRecord(retained, m_host.finalTranscript(),
                                                           m_host.liveTranscript(), message);
    if (wasBeingTyped)
        record.status = TranscriptRecordStatus::warning;
    TovalitDebugLogger::log(QStringLiteral("quit"), wasBeingTyped
                                                        ? QStringLiteral("filed result=unconfirmed")
                                                        : QStringLiteral("filed result=cancelled"));
    clearSessionContext();
    m_host.resetMeetingSession();
    m_floatingPanelCoordinator->hide();
    const QPointer<DictationSession> alive(this);
    std::exception_ptr failure;
    try {
        co_await m_host.appendToHistory(record, std::move(fileHold));
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
    }
    m_host.setLastResultMessage(message);
    m_host.setRecordingState(wasBeingTyped ? RecordingState::idle()
                                           : RecordingState::failed(message));
}

} // namespace tovalit
