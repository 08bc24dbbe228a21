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
    const QUuid sessionID = m_activeRecordingSessionID;
    // The application may quit while the stop waits (for the recogniser,
    // the model, the focused application, the user's answer to a delivery,
    // the history store): the stop then ends with the controller. A quit
    // that could wait has filed the dictation first.
    const QPointer<DictationSession> self(this);
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
    const bool liveTextIsIncomplete = m_liveStreamBroke && !meetingKeepsLiveText;
    const bool wordsAtTheBreakMayBeMissing = m_liveStreamBroke && m_host.hasEnteredMeetingMode();
    std::optional<QString> streamNote;
    if (m_liveStreamBroke) {
        if (!m_transcriber)
            m_engineStatusNote = interruptedStreamNote();
        streamNote = m_engineStatusNote;
    }
    dismissEmojiPanelIfNeeded(triggerSource);
    m_host.stopMeetingTasks();
    cancelLiveTranscriberRecovery(true);
    const HUDPresentationMode deliveryPresentation =
        m_configurationStore.autoInsertIntoFocusedInput() && !m_host.hasEnteredMeetingMode()
            ? HUDPresentationMode::silent
            : HUDPresentationMode::standard;
    m_host.setRecordingState(RecordingState::thinking());
    m_floatingPanelCoordinator->showThinking(QStringLiteral("思考中"), QString());

    std::optional<RecordingSessionOutput> output = m_audioCaptureService->stop(true);
    m_unfiledStop = UnfiledStop{sessionID, output};
    // Until its record is saved, the recording is no part of the history a
    // clearing may empty meanwhile.
    std::shared_ptr<RecordingHold> fileHold =
        output ? std::exchange(output->fileHold, nullptr) : nullptr;
    detachCaptureCallbacks();
    m_host.setWaveformLevels(idleWaveformLevels());

    // The live recogniser's final text, or what a recogniser that could
    // not finish still had.
    QString sessionText;
    std::optional<QString> recognitionWarning;
    if (const std::shared_ptr<LiveTranscriber> transcriber = m_transcriber) {
        std::exception_ptr finishFailure;
        try {
            sessionText = co_await transcriber->finish();
        } catch (...) {
            finishFailure = std::current_exception();
        }
        if (!self)
            co_return;
        if (finishFailure) {
            if (const auto fallback = DictationResultTexts::finalizationFallback(finishFailure)) {
                sessionText = fallback->text;
                recognitionWarning = fallback->warning;
            } else {
                sessionText = textkit::trimmed(m_host.liveTranscript());
                recognitionWarning = describeError(finishFailure);
            }
        }
    }
    m_transcriber.reset();
    m_liveAudioBufferRelay->reset();
    const QString resolved =
        m_liveTranscriptAccumulator.resolvedFinalTranscript(sessionText, m_host.liveTranscript());
    // Formatting may take a minute: a run that ends meanwhile leaves the
    // text for the next start to file.
    keepWordsHeard(fileNameOf(output), resolved, true);

    std::optional<QString> audioURL;
    if (output)
        audioURL = output->audioURL;
    const DictationCompletion::SupplementOutcome supplement =
        co_await m_completion.supplementWithArchivedVellupASRIfNeeded(
            resolved, audioURL, recognitionWarning, liveTextIsIncomplete,
            HUDPresentationMode::standard);
    if (!self)
        co_return;
    const QString heard = supplement.transcript;
    if (heard != resolved)
        keepWordsHeard(fileNameOf(output), heard, true);
    recognitionWarning = supplement.warning;
    std::optional<QString> missingWordsNote;
    if (wordsAtTheBreakMayBeMissing && !supplement.note)
        missingWordsNote = QStringLiteral("Vellup流式 ASR 中断处的文字可能缺失");

    const QString replaced = m_completion.replacedTranscript(heard);
    const NaturalModeStage stage =
        DictationCompletion::stageFor(output ? output->duration : 0.0, replaced);
    m_host.setLiveTranscript(replaced);

    InstructionRoutingResult routing = InstructionRoutingResult::notRouted();
    if (!m_host.hasEnteredMeetingMode()) {
        routing = co_await m_host.routeInstruction(replaced);
        if (!self)
            co_return;
    }
    QString finalText;
    std::optional<QString> stepNote;
    if (routing.isRouted()) {
        finalText = routing.text().isEmpty() ? replaced : routing.text();
        stepNote = routing.note();
    } else {
        FormattedText formatted;
        if (m_host.hasEnteredMeetingMode())
            formatted = co_await m_host.summarizeMeeting(heard, replaced);
        else
            formatted = co_await m_delivery.formatTranscript(replaced, stage,
                                                             HUDPresentationMode::standard);
        if (!self)
            co_return;
        finalText = formatted.text.isEmpty() ? replaced : formatted.text;
        stepNote = formatted.note;
    }
    m_host.setFinalTranscript(finalText);

    // A quit that could not wait has filed this dictation as cancelled.
    if (!isStopUnfiled(sessionID))
        co_return;
    std::optional<InsertionResult> result;
    if (routing.shouldDeliver()) {
        // Named rather than a temporary: GCC 12 may destroy a temporary
        // argument of a coroutine twice.
        std::function<bool()> mayInsert = [self, sessionID] {
            return self && self->beginInsertingStop(sessionID);
        };
        result = co_await m_delivery.deliver(finalText, deliveryPresentation, std::move(mayInsert));
    }
    if (!self || !isStopUnfiled(sessionID))
        co_return;

    const std::optional<RecordingSessionOutput> retained = m_host.retainedRecordingOutput(output);
    const TranscriptRecordStatus status =
        DictationResultTexts::completionStatus(finalText, recognitionWarning, result);
    const std::optional<QString> audioFileName = fileNameOf(retained);
    const QString note = DictationResultTexts::joinedNote(
        {streamNote, missingWordsNote, supplement.note, stepNote,
         DictationResultTexts::completedRecordNote(finalText, audioFileName, recognitionWarning,
                                                   result)});
    const TranscriptRecord record = m_completion.newRecord(
        retained ? retained->duration : 0.0, finalText, heard, audioFileName, status, note);

    // From here the record is the history store's, which finishes what it
    // was given even when the application quits.
    m_unfiledStop.reset();
    std::exception_ptr appendFailure;
    try {
        co_await m_host.appendToHistory(record, fileHold);
    } catch (...) {
        appendFailure = std::current_exception();
    }
    if (!self)
        co_return;
    if (appendFailure) {
        co_await failStop(retained, finalText, heard, appendFailure, std::move(fileHold));
        co_return;
    }

    if (note.isEmpty()) {
        m_host.setLastResultMessage(status == TranscriptRecordStatus::failed
                                        ? QStringLiteral("本次转写失败")
                                        : QStringLiteral("本次转写已完成"));
    } else {
        m_host.setLastResultMessage(note);
    }
    m_host.resetMeetingSession();
    clearSessionContext();
    m_host.setRecordingState(RecordingState::idle());
    m_completion.finishWithCompletionPanel(result, finalText, routing, status, note);
    // The text is delivered and the dictation over: the shortcut is free
    // again while the lexicon learns from it, however slow its sync.
    if (routing.shouldRunHistoryLearning())
        startHistoryLearningFollowUp(m_host.storedRecord(record));
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
