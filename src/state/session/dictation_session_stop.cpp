// Ending a recording: the final text, its supplements and rewrites, the
// delivery and the history record.

#include "services/settings/app_configuration_store.h"
#include "state/session/dictation_completion.h"
#include "state/session/dictation_session.h"
#include "state/session/dictation_session_host.h"
#include "state/session/live_audio_buffer_relay.h"
#include "state/shared/dictation_result_texts.h"
#include "state/shared/floating_panel_coordinating.h"
#include "support/app_error.h"
#include "support/textkit.h"

#include <QFileInfo>
#include <QPointer>

#include <utility>

namespace tovalit {

namespace {

std::optional<QString> fileNameOf(const std::optional<RecordingSessionOutput> &output) {
    if (!output || !output->audioURL)
        return std::nullopt;
    return QFileInfo(*output->audioURL).fileName();
}

} // namespace

// --- The stop -------------------------------------------------------------------------

QCoro::Task<void> DictationSession::stopRecording(RecordingStopSource triggerSource) {
    if (!m_host.recordingState().is(RecordingState::Case::recording))
        co_return;
    StopRun run;
    run.sessionID = m_activeRecordingSessionID;
    // The application may quit while the stop waits (for the recogniser,
    // the model, the focused application, the user's answer to a delivery,
    // the history store): the stop then ends with the controller. A quit
    // that could wait has filed the dictation first.
    const QPointer<DictationSession> self(this);
    judgeLiveStreamBreak(run);
    run.deliveryPresentation = enterStopThinking(triggerSource);
    endCaptureForStop(run);

    const LiveFinish live = co_await finishLiveTranscriber();
    if (!self)
        co_return;
    const QString resolved = settleLiveTranscript(run, live.text);
    const StopHeard heard = co_await supplementLiveTranscript(resolved, live.warning, run.output,
                                                              run.liveTextIsIncomplete,
                                                              run.wordsAtTheBreakMayBeMissing);
    if (!self)
        co_return;
    const QString replaced = m_completion.replacedTranscript(heard.text);
    const NaturalModeStage stage =
        DictationCompletion::stageFor(run.output ? run.output->duration : 0.0, replaced);
    m_host.setLiveTranscript(replaced);
    const StopRewrite rewrite = co_await rewriteStoppedText(heard.text, replaced, stage);
    if (!self)
        co_return;
    m_host.setFinalTranscript(rewrite.finalText);

    // A quit that could not wait has filed this dictation as cancelled.
    if (!isStopUnfiled(run.sessionID))
        co_return;
    std::optional<InsertionResult> result;
    if (rewrite.routing.shouldDeliver()) {
        result =
            co_await deliverStoppedText(run.sessionID, rewrite.finalText, run.deliveryPresentation);
    }
    if (!self || !isStopUnfiled(run.sessionID))
        co_return;

    StopFiling filing = recordOfStop(run, heard, rewrite, result);
    // From here the record is the history store's, which finishes what it
    // was given even when the application quits.
    m_unfiledStop.reset();
    co_await fileStop(std::move(filing), rewrite, heard.text, result, std::move(run.fileHold));
}

void DictationSession::judgeLiveStreamBreak(StopRun &run) {
    // After a break the live text cannot be trusted to hold everything,
    // even when a replacement took over: the words in flight went to the
    // broken stream, which never answered for them, and the replacement
    // heard only what came after. A dictation's recording is then
    // recognised again. A meeting runs too long for the audio-file
    // recogniser: it is recognised again only when audio is known to be
    // lost (no replacement, or a backlog that overflowed), and otherwise
    // keeps its live text with a note that words at the break may be
    // missing. A broken stream is named in the result either way.
    const bool meetingKeepsLiveText =
        m_host.hasEnteredMeetingMode() && !m_liveAudioLost && m_transcriber;
    run.liveTextIsIncomplete = m_liveStreamBroke && !meetingKeepsLiveText;
    run.wordsAtTheBreakMayBeMissing = m_liveStreamBroke && m_host.hasEnteredMeetingMode();
    if (m_liveStreamBroke) {
        if (!m_transcriber)
            m_engineStatusNote = interruptedStreamNote();
        run.streamNote = m_engineStatusNote;
    }
}

DictationSession::HUDPresentationMode
DictationSession::enterStopThinking(RecordingStopSource triggerSource) {
    dismissEmojiPanelIfNeeded(triggerSource);
    m_host.stopMeetingTasks();
    cancelLiveTranscriberRecovery(true);
    const HUDPresentationMode deliveryPresentation =
        m_configurationStore.autoInsertIntoFocusedInput() && !m_host.hasEnteredMeetingMode()
            ? HUDPresentationMode::silent
            : HUDPresentationMode::standard;
    m_host.setRecordingState(RecordingState::thinking());
    m_floatingPanelCoordinator->showThinking(QStringLiteral("思考中"), QString());
    return deliveryPresentation;
}

void DictationSession::endCaptureForStop(StopRun &run) {
    run.output = m_audioCaptureService->stop(true);
    m_unfiledStop = UnfiledStop{run.sessionID, run.output};
    // Until its record is saved, the recording is no part of the history a
    // clearing may empty meanwhile.
    run.fileHold = run.output ? std::exchange(run.output->fileHold, nullptr) : nullptr;
    detachCaptureCallbacks();
    m_host.setWaveformLevels(idleWaveformLevels());
}

QCoro::Task<DictationSession::LiveFinish> DictationSession::finishLiveTranscriber() {
    // The live recogniser's final text, or what a recogniser that could
    // not finish still had.
    LiveFinish live;
    const std::shared_ptr<LiveTranscriber> transcriber = m_transcriber;
    if (!transcriber)
        co_return live;
    const QPointer<DictationSession> self(this);
    std::exception_ptr finishFailure;
    try {
        live.text = co_await transcriber->finish();
    } catch (...) {
        finishFailure = std::current_exception();
    }
    if (!self || !finishFailure)
        co_return live;
    if (const auto fallback = DictationResultTexts::finalizationFallback(finishFailure)) {
        live.text = fallback->text;
        live.warning = fallback->warning;
    } else {
        live.text = textkit::trimmed(m_host.liveTranscript());
        live.warning = describeError(finishFailure);
    }
    co_return live;
}

QString DictationSession::settleLiveTranscript(const StopRun &run, const QString &sessionText) {
    m_transcriber.reset();
    m_liveAudioBufferRelay->reset();
    const QString resolved =
        m_liveTranscriptAccumulator.resolvedFinalTranscript(sessionText, m_host.liveTranscript());
    // Formatting may take a minute: a run that ends meanwhile leaves the
    // text for the next start to file.
    keepWordsHeard(fileNameOf(run.output), resolved, true);
    return resolved;
}

QCoro::Task<DictationSession::StopHeard> DictationSession::supplementLiveTranscript(
    QString resolved, std::optional<QString> recognitionWarning,
    std::optional<RecordingSessionOutput> output, bool liveTextIsIncomplete,
    bool wordsAtTheBreakMayBeMissing) {
    const QPointer<DictationSession> self(this);
    std::optional<QString> audioURL;
    if (output)
        audioURL = output->audioURL;
    const DictationCompletion::SupplementOutcome supplement =
        co_await m_completion.supplementWithArchivedVellupASRIfNeeded(
            resolved, audioURL, recognitionWarning, liveTextIsIncomplete,
            HUDPresentationMode::standard);
    StopHeard heard;
    if (!self)
        co_return heard;
    heard.text = supplement.transcript;
    if (heard.text != resolved)
        keepWordsHeard(fileNameOf(output), heard.text, true);
    heard.warning = supplement.warning;
    heard.supplementNote = supplement.note;
    if (wordsAtTheBreakMayBeMissing && !supplement.note)
        heard.missingWordsNote = QStringLiteral("Vellup流式 ASR 中断处的文字可能缺失");
    co_return heard;
}

QCoro::Task<DictationSession::StopRewrite>
DictationSession::rewriteStoppedText(QString heard, QString replaced, NaturalModeStage stage) {
    const QPointer<DictationSession> self(this);
    StopRewrite rewrite;
    if (!m_host.hasEnteredMeetingMode()) {
        rewrite.routing = co_await m_host.routeInstruction(replaced);
        if (!self)
            co_return rewrite;
    }
    if (rewrite.routing.isRouted()) {
        rewrite.finalText = rewrite.routing.text().isEmpty() ? replaced : rewrite.routing.text();
        rewrite.stepNote = rewrite.routing.note();
        co_return rewrite;
    }
    FormattedText formatted;
    if (m_host.hasEnteredMeetingMode())
        formatted = co_await m_host.summarizeMeeting(heard, replaced);
    else
        formatted =
            co_await m_delivery.formatTranscript(replaced, stage, HUDPresentationMode::standard);
    if (!self)
        co_return rewrite;
    rewrite.finalText = formatted.text.isEmpty() ? replaced : formatted.text;
    rewrite.stepNote = formatted.note;
    co_return rewrite;
}

QCoro::Task<std::optional<InsertionResult>>
DictationSession::deliverStoppedText(QUuid sessionID, QString finalText,
                                     HUDPresentationMode presentation) {
    const QPointer<DictationSession> self(this);
    // Named rather than a temporary: GCC 12 may destroy a temporary
    // argument of a coroutine twice.
    std::function<bool()> mayInsert = [self, sessionID] {
        return self && self->beginInsertingStop(sessionID);
    };
    std::optional<InsertionResult> result =
        co_await m_delivery.deliver(finalText, presentation, std::move(mayInsert));
    co_return result;
}

DictationSession::StopFiling
DictationSession::recordOfStop(const StopRun &run, const StopHeard &heard,
                               const StopRewrite &rewrite,
                               const std::optional<InsertionResult> &result) const {
    StopFiling filing;
    filing.retained = m_host.retainedRecordingOutput(run.output);
    filing.status =
        DictationResultTexts::completionStatus(rewrite.finalText, heard.warning, result);
    const std::optional<QString> audioFileName = fileNameOf(filing.retained);
    filing.note = DictationResultTexts::joinedNote(
        {run.streamNote, heard.missingWordsNote, heard.supplementNote, rewrite.stepNote,
         DictationResultTexts::completedRecordNote(rewrite.finalText, audioFileName, heard.warning,
                                                   result)});
    filing.record =
        m_completion.newRecord(filing.retained ? filing.retained->duration : 0.0, rewrite.finalText,
                               heard.text, audioFileName, filing.status, filing.note);
    return filing;
}

QCoro::Task<void> DictationSession::fileStop(StopFiling filing, StopRewrite rewrite, QString heard,
                                             std::optional<InsertionResult> result,
                                             std::shared_ptr<RecordingHold> fileHold) {
    const QPointer<DictationSession> self(this);
    std::exception_ptr appendFailure;
    try {
        co_await m_host.appendToHistory(filing.record, fileHold);
    } catch (...) {
        appendFailure = std::current_exception();
    }
    if (!self)
        co_return;
    if (appendFailure) {
        co_await failStop(filing.retained, rewrite.finalText, heard, appendFailure,
                          std::move(fileHold));
        co_return;
    }
    finishStop(filing, rewrite, result);
}

void DictationSession::finishStop(const StopFiling &filing, const StopRewrite &rewrite,
                                  const std::optional<InsertionResult> &result) {
    if (filing.note.isEmpty()) {
        m_host.setLastResultMessage(filing.status == TranscriptRecordStatus::failed
                                        ? QStringLiteral("本次转写失败")
                                        : QStringLiteral("本次转写已完成"));
    } else {
        m_host.setLastResultMessage(filing.note);
    }
    m_host.resetMeetingSession();
    clearSessionContext();
    m_host.setRecordingState(RecordingState::idle());
    m_completion.finishWithCompletionPanel(result, rewrite.finalText, rewrite.routing,
                                           filing.status, filing.note);
    // The text is delivered and the dictation over: the shortcut is free
    // again while the lexicon learns from it, however slow its sync.
    if (rewrite.routing.shouldRunHistoryLearning())
        startHistoryLearningFollowUp(m_host.storedRecord(filing.record));
}

QCoro::Task<void> DictationSession::failStop(std::optional<RecordingSessionOutput> retained,
                                             QString finalText, QString heard,
                                             std::exception_ptr error,
                                             std::shared_ptr<RecordingHold> fileHold) {
    const QPointer<DictationSession> self(this);
    const QString message = describeError(error);
    clearSessionContext();
    detachCaptureCallbacks();
    m_host.setWaveformLevels(idleWaveformLevels());
    if (m_transcriber) {
        m_transcriber->cancel();
        m_transcriber.reset();
    }
    m_liveAudioBufferRelay->reset();
    const TranscriptRecord record = m_host.failedDictationRecord(
        retained, finalText.isEmpty() ? m_host.finalTranscript() : finalText,
        heard.isEmpty() ? m_host.liveTranscript() : heard, message);
    try {
        co_await m_host.appendToHistory(record, std::move(fileHold));
    } catch (...) {
        // The store refused twice; the failure itself is what the user sees.
    }
    if (!self)
        co_return;
    m_host.setLastResultMessage(message);
    m_host.resetMeetingSession();
    m_floatingPanelCoordinator->hide();
    m_host.setRecordingState(RecordingState::failed(message));
}

void DictationSession::startHistoryLearningFollowUp(const TranscriptRecord &record) {
    // The session that follows the one just ended: a later dictation or
    // retry replaces it, and with that the follow-up's messages lose their
    // place.
    m_host.startHistoryLearning(record, m_activeRecordingSessionID);
}

} // namespace tovalit
