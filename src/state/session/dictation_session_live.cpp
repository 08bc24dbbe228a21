// The live phase of a recording: partial texts, meter levels, and the
// rebuild of a recogniser whose stream broke.

#include "state/session/dictation_session.h"
#include "state/session/dictation_session_host.h"
#include "state/session/live_audio_buffer_relay.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/gui_thread.h"

#include <QPointer>

namespace tovalit {

void DictationSession::configureLiveTranscriber(const std::shared_ptr<LiveTranscriber> &transcriber,
                                                QUuid sessionID) {
    // Both callbacks only hop to the GUI thread; the handlers check there
    // that their session is still the current one.
    QPointer<DictationSession> self(this);
    transcriber->setOnPartial([self, sessionID](const QString &text) {
        postToGuiThread([self, sessionID, text] {
            if (self)
                self->handleLivePartial(text, sessionID);
        });
    });
    if (auto *interruptible = dynamic_cast<InterruptibleLiveTranscriber *>(transcriber.get())) {
        // Held weakly: the recogniser keeps this callback, and the handler
        // needs only to know whether the report came from the live stream.
        std::weak_ptr<LiveTranscriber> source = transcriber;
        interruptible->setOnInterruption([self, sessionID, source](std::exception_ptr error) {
            postToGuiThread([self, sessionID, source, error] {
                if (!self)
                    return;
                spawn(
                    self,
                    [self, sessionID, source, error]() -> QCoro::Task<void> {
                        if (self)
                            co_await self->handleLiveTranscriberInterruption(error, sessionID,
                                                                             source);
                    },
                    QStringLiteral("live interruption"));
            });
        });
    }
}

void DictationSession::handleLivePartial(const QString &text, QUuid sessionID) {
    if (!isCurrentSession(sessionID))
        return;
    const QString merged = m_liveTranscriptAccumulator.renderedPartial(text);
    m_host.setLiveTranscript(merged);
    m_host.followMeetingTranscript(merged);
    keepWordsHeard(m_audioCaptureService->currentRecordingFileName(), merged, false);
}

void DictationSession::keepRecordingBecameMeeting() {
    // No new words: the next ones are kept at their own pace.
    const std::optional<double> wordsLastKeptAt = m_wordsLastKeptAt;
    keepWordsHeard(m_audioCaptureService->currentRecordingFileName(), m_host.liveTranscript(),
                   true);
    m_wordsLastKeptAt = wordsLastKeptAt;
}

void DictationSession::keepWordsHeard(const std::optional<QString> &audioFileName,
                                      const QString &words, bool now) {
    if (!audioFileName || !m_recordingStartedAt)
        return;
    const double uptime = m_uptime();
    if (!now && m_wordsLastKeptAt && uptime - *m_wordsLastKeptAt < wordsKeptEverySeconds)
        return;
    m_wordsLastKeptAt = uptime;
    m_host.keepWordsHeard(*audioFileName, *m_recordingStartedAt, m_host.hasEnteredMeetingMode(),
                          words);
}

void DictationSession::handleLiveLevels(QList<double> levels, QUuid sessionID) {
    if (!isCurrentSession(sessionID))
        return;
    m_host.setWaveformLevels(std::move(levels));
    if (m_host.recordingState().is(RecordingState::Case::recording))
        presentRecordingHUD();
}

QCoro::Task<void>
DictationSession::handleLiveTranscriberInterruption(std::exception_ptr error, QUuid sessionID,
                                                    std::weak_ptr<LiveTranscriber> source) {
    // Only a break of the stream the recording is using counts. The
    // recogniser also reports a start that fails: that is the failure of a
    // start or of a replacement attempt, already handled where it was
    // awaited, and taking it for a new break would rebuild without end
    // while the service is down. A late second report of an old break is
    // not a break of its replacement either. One recovery at a time.
    const std::shared_ptr<LiveTranscriber> reporter = source.lock();
    if (!isCurrentSession(sessionID) ||
        !m_host.recordingState().is(RecordingState::Case::recording) ||
        m_liveTranscriberRecoveryTask.isRunning() || !reporter || reporter != m_transcriber) {
        co_return;
    }
    m_liveTranscriptAccumulator.sealCurrentTranscript(m_host.liveTranscript());
    m_liveAudioBufferRelay->beginBuffering();
    m_liveStreamBroke = true;
    // Released without cancel(): the broken stream has nothing left to end.
    m_transcriber.reset();
    // What broke, as it was reported: the gateway's wording ("reconnected
    // but still not recovered") would claim a reconnect not yet tried.
    const QString reason = describeError(error);
    m_host.logMeetingStream(QStringLiteral("interrupted"), reason);
    m_engineStatusNote = m_host.hasEnteredMeetingMode()
                             ? QStringLiteral("Vellup流式 ASR 已中断，正在恢复会议实时总结")
                             : QStringLiteral("Vellup流式 ASR 已中断，正在尝试恢复");
    presentRecordingHUD();

    QPointer<DictationSession> self(this);
    m_liveTranscriberRecoveryTask = spawnCancellable(
        this,
        [self, sessionID, reason](CancelToken token) -> QCoro::Task<void> {
            if (self)
                co_await self->recoverLiveTranscriberIfNeeded(sessionID, reason, token);
        },
        QStringLiteral("live recovery"));
}

QCoro::Task<void> DictationSession::recoverLiveTranscriberIfNeeded(QUuid sessionID,
                                                                   QString interruptionReason,
                                                                   CancelToken token) {
    // Cancelled before it ran: whoever cancelled it saw to the relay, which
    // may already serve the next recording.
    if (token.isCancelled())
        co_return;
    if (!isCurrentSession(sessionID) ||
        !m_host.recordingState().is(RecordingState::Case::recording)) {
        m_liveAudioBufferRelay->reset();
        co_return;
    }
    QPointer<DictationSession> self(this);
    SpeechOperation<std::shared_ptr<LiveTranscriber>> rebuild =
        [this, sessionID](VellupSpeechConfiguration c) {
            return startReplacementTranscriber(std::move(c), sessionID);
        };
    SpeechResult<std::shared_ptr<LiveTranscriber>> rebuilt;
    std::exception_ptr failure;
    try {
        rebuilt = co_await m_gatewayRecovery.performSpeechOperation(std::move(rebuild));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;

    // The user stopped or cancelled meanwhile. A cancelled recovery leaves
    // the relay alone: it may already serve the next recording.
    if (token.isCancelled() || !isCurrentSession(sessionID) ||
        !m_host.recordingState().is(RecordingState::Case::recording)) {
        if (rebuilt)
            rebuilt->value->cancel();
        if (!token.isCancelled())
            m_liveAudioBufferRelay->reset();
        co_return;
    }
    if (failure) {
        failLiveTranscriberRecovery(m_gatewayRecovery.presentableFailureMessage(failure));
        co_return;
    }
    if (!rebuilt) {
        failLiveTranscriberRecovery(QStringLiteral("speech configuration unavailable"));
        co_return;
    }
    m_transcriber = rebuilt->value;
    m_liveAudioBufferRelay->setTranscriber(m_transcriber, true);
    // Read after the replay, which may itself have overflowed the backlog.
    if (m_liveAudioBufferRelay->hasDroppedBufferedAudio())
        m_liveAudioLost = true;
    refreshLiveEngineStatusNote(*m_transcriber, true);
    m_host.logMeetingStream(QStringLiteral("recovered"), interruptionReason);
    presentRecordingHUD();
}

QCoro::Task<std::shared_ptr<LiveTranscriber>>
DictationSession::startReplacementTranscriber(VellupSpeechConfiguration configuration,
                                              QUuid sessionID) {
    std::shared_ptr<LiveTranscriber> transcriber =
        makeStreamingTranscriber(std::move(configuration), sessionID);
    co_await transcriber->start();
    co_return transcriber;
}

void DictationSession::failLiveTranscriberRecovery(const QString &detail) {
    // The recording goes on without live text; the stop recognises the
    // recorded file instead.
    m_liveAudioBufferRelay->reset();
    m_liveAudioLost = true;
    m_engineStatusNote = interruptedStreamNote();
    m_host.logMeetingStream(QStringLiteral("recovery_failed"), detail);
    presentRecordingHUD();
}

QString DictationSession::interruptedStreamNote() const {
    return m_host.hasEnteredMeetingMode()
               ? QStringLiteral(
                     "Vellup流式 ASR 已中断，会议实时总结暂停，停止录音后会补一遍录音 ASR")
               : QStringLiteral("Vellup流式 ASR 已中断，停止录音后会补一遍录音 ASR");
}

void DictationSession::cancelLiveTranscriberRecovery(bool resetRelay) {
    m_liveTranscriberRecoveryTask.cancel();
    m_liveTranscriberRecoveryTask = TaskHandle();
    if (resetRelay)
        m_liveAudioBufferRelay->reset();
}

} // namespace tovalit
