// Ending a recording: the final text, its supplements and rewrites, the
// delivery and the history record.

#include "services/history/history_store.h"
#include "services/lexicon/local_replacement_engine.h"
#include "services/settings/app_configuration_store.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "state/live_audio_buffer_relay.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/transcriber_view_model.h"
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

std::optional<TranscriberViewModel::FinalizationFallback>
TranscriberViewModel::finalizationFallback(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const VellupStreamingTranscriberError &e) {
        if (e.kind() == VellupStreamingTranscriberError::Kind::finalizationTimedOut) {
            return FinalizationFallback{
                e.partialText(),
                QStringLiteral("等待Vellup最终转写结果超时，已保留最后一版文本。")};
        }
        if (e.kind() == VellupStreamingTranscriberError::Kind::streamInterrupted) {
            return FinalizationFallback{e.partialText(),
                                        QStringLiteral("Vellup流式转写中断，已保留最后一版文本：") +
                                            e.message()};
        }
    } catch (...) {
    }
    return std::nullopt;
}

// --- The stop -------------------------------------------------------------------------

QCoro::Task<void> TranscriberViewModel::stopRecording(RecordingStopSource triggerSource) {
    if (!m_recordingState.is(RecordingState::Case::recording))
        co_return;
    const QUuid sessionID = m_activeRecordingSessionID;
    // After a break the live text cannot be trusted to hold everything,
    // even when a replacement took over: the words in flight went to the
    // broken stream, which never answered for them, and the replacement
    // heard only what came after. A dictation's recording is then
    // recognised again. A meeting runs too long for the audio-file
    // recogniser: it is recognised again only when audio is known to be
    // lost (no replacement, or a backlog that overflowed), and otherwise
    // keeps its live text with a note that words at the break may be
    // missing. A broken stream is named in the result either way.
    const bool meetingKeepsLiveText = m_hasEnteredMeetingMode && !m_liveAudioLost && m_transcriber;
    const bool liveTextIsIncomplete = m_liveStreamBroke && !meetingKeepsLiveText;
    const bool wordsAtTheBreakMayBeMissing = m_liveStreamBroke && m_hasEnteredMeetingMode;
    std::optional<QString> streamNote;
    if (m_liveStreamBroke) {
        if (!m_transcriber)
            m_engineStatusNote = interruptedStreamNote();
        streamNote = m_engineStatusNote;
    }
    dismissEmojiPanelIfNeeded(triggerSource);
    stopMeetingModeRuntimeTasks();
    cancelLiveTranscriberRecovery(true);
    const HUDPresentationMode deliveryPresentation =
        m_configurationStore.autoInsertIntoFocusedInput() && !m_hasEnteredMeetingMode
            ? HUDPresentationMode::silent
            : HUDPresentationMode::standard;
    setRecordingState(RecordingState::thinking());
    m_floatingPanelCoordinator->showThinking(QStringLiteral("思考中"), QString());

    std::optional<RecordingSessionOutput> output = m_audioCaptureService->stop(true);
    m_unfiledStop = UnfiledStop{sessionID, output};
    // Until its record is saved, the recording is no part of the history a
    // clearing may empty meanwhile.
    std::shared_ptr<RecordingHold> fileHold =
        output ? std::exchange(output->fileHold, nullptr) : nullptr;
    detachCaptureCallbacks();
    setWaveformLevels(idleWaveformLevels());

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
        if (finishFailure) {
            if (const auto fallback = finalizationFallback(finishFailure)) {
                sessionText = fallback->text;
                recognitionWarning = fallback->warning;
            } else {
                sessionText = textkit::trimmed(m_liveTranscript);
                recognitionWarning = describeError(finishFailure);
            }
        }
    }
    m_transcriber.reset();
    m_liveAudioBufferRelay->reset();
    const QString resolved =
        m_liveTranscriptAccumulator.resolvedFinalTranscript(sessionText, m_liveTranscript);

    std::optional<QString> audioURL;
    if (output)
        audioURL = output->audioURL;
    const SupplementOutcome supplement = co_await supplementWithArchivedVellupASRIfNeeded(
        resolved, audioURL, recognitionWarning, liveTextIsIncomplete,
        HUDPresentationMode::standard);
    const QString heard = supplement.transcript;
    recognitionWarning = supplement.warning;
    std::optional<QString> missingWordsNote;
    if (wordsAtTheBreakMayBeMissing && !supplement.note)
        missingWordsNote = QStringLiteral("Vellup流式 ASR 中断处的文字可能缺失");

    const QString replaced = replacedTranscript(heard);
    const NaturalModeStage stage = stageFor(output ? output->duration : 0.0, replaced);
    setLiveTranscript(replaced);

    InstructionRoutingResult routing = InstructionRoutingResult::notRouted();
    if (!m_hasEnteredMeetingMode)
        routing = co_await routeInstructionLibraryIfNeeded(replaced);
    QString finalText;
    std::optional<QString> stepNote;
    if (routing.isRouted()) {
        finalText = routing.text().isEmpty() ? replaced : routing.text();
        stepNote = routing.note();
    } else {
        FormattedText formatted;
        if (m_hasEnteredMeetingMode)
            formatted = co_await formatMeetingFinalSummary(heard, replaced);
        else
            formatted = co_await formatTranscript(replaced, stage, HUDPresentationMode::standard);
        finalText = formatted.text.isEmpty() ? replaced : formatted.text;
        stepNote = formatted.note;
    }
    setFinalTranscript(finalText);

    // A quit that could not wait has filed this dictation as cancelled.
    if (!isStopUnfiled(sessionID))
        co_return;
    const QPointer<TranscriberViewModel> self(this);
    std::optional<InsertionResult> result;
    if (routing.shouldDeliver())
        result = co_await deliver(finalText, deliveryPresentation);
    // The delivery may wait for the user past the application's end.
    if (!self || !isStopUnfiled(sessionID))
        co_return;

    const std::optional<RecordingSessionOutput> retained = persistedRecordingOutput(output);
    const TranscriptRecordStatus status = completionStatus(finalText, recognitionWarning, result);
    const std::optional<QString> audioFileName = fileNameOf(retained);
    const QString note =
        joinedNote({streamNote, missingWordsNote, supplement.note, stepNote,
                    completedRecordNote(finalText, audioFileName, recognitionWarning, result)});
    const TranscriptRecord record = newRecord(retained ? retained->duration : 0.0, finalText, heard,
                                              audioFileName, status, note);

    // From here the record is the history store's, which finishes what it
    // was given even when the application quits.
    m_unfiledStop.reset();
    std::exception_ptr appendFailure;
    try {
        setRecords(co_await m_historyStore.append(record, fileHold));
    } catch (...) {
        appendFailure = std::current_exception();
    }
    if (appendFailure) {
        co_await failStop(retained, finalText, heard, appendFailure, std::move(fileHold));
        co_return;
    }

    if (note.isEmpty()) {
        setLastResultMessage(status == TranscriptRecordStatus::failed
                                 ? QStringLiteral("本次转写失败")
                                 : QStringLiteral("本次转写已完成"));
    } else {
        setLastResultMessage(note);
    }
    resetMeetingModeSessionState();
    clearSessionContext();
    setRecordingState(RecordingState::idle());
    finishWithCompletionPanel(result, finalText, routing, status, note);
    // The text is delivered and the dictation over: the shortcut is free
    // again while the lexicon learns from it, however slow its sync.
    if (routing.shouldRunHistoryLearning())
        startHistoryLearningFollowUp(storedVersion(record));
}

QCoro::Task<void> TranscriberViewModel::failStop(std::optional<RecordingSessionOutput> retained,
                                                 QString finalText, QString heard,
                                                 std::exception_ptr error,
                                                 std::shared_ptr<RecordingHold> fileHold) {
    const QString message = describeError(error);
    clearSessionContext();
    detachCaptureCallbacks();
    setWaveformLevels(idleWaveformLevels());
    if (m_transcriber) {
        m_transcriber->cancel();
        m_transcriber.reset();
    }
    m_liveAudioBufferRelay->reset();
    const TranscriptRecord record =
        failedRecord(retained, finalText.isEmpty() ? m_finalTranscript : finalText,
                     heard.isEmpty() ? m_liveTranscript : heard, message);
    try {
        setRecords(co_await m_historyStore.append(record, std::move(fileHold)));
    } catch (...) {
        // The store refused twice; the failure itself is what the user sees.
    }
    setLastResultMessage(message);
    resetMeetingModeSessionState();
    m_floatingPanelCoordinator->hide();
    setRecordingState(RecordingState::failed(message));
}

void TranscriberViewModel::finishWithCompletionPanel(std::optional<InsertionResult> result,
                                                     const QString &text,
                                                     const InstructionRoutingResult &routing,
                                                     TranscriptRecordStatus status,
                                                     const QString &note) {
    if (result.has_value() && insertionFailed(*result)) {
        presentDeliveryFailureFeedbackIfNeeded(*result, text);
        return;
    }
    // While a new instruction waits behind its undo toast, the panel is
    // the instruction's.
    if (routing.shouldShowCompletionHUD()) {
        m_floatingPanelCoordinator->showCompletion(
            hudToastMessage(status, note.isEmpty() ? std::nullopt : std::optional(note)));
    }
}

void TranscriberViewModel::startHistoryLearningFollowUp(const TranscriptRecord &record) {
    // The session that follows the one just ended: a later dictation or
    // retry replaces it, and with that the follow-up's messages lose their
    // place.
    const QUuid followUpOf = m_activeRecordingSessionID;
    spawn(
        this,
        [this, record, followUpOf] {
            const QList<TranscriptRecord> learned{record};
            return m_lexicon->processHistoryLexiconRecords(learned, false, followUpOf);
        },
        QStringLiteral("history learning"));
}

bool TranscriberViewModel::isSilencedFollowUp(const QUuid &followUpOf) const {
    return !followUpOf.isNull() && followUpOf != m_activeRecordingSessionID;
}

QCoro::Task<TranscriberViewModel::SupplementOutcome>
TranscriberViewModel::supplementWithArchivedVellupASRIfNeeded(
    QString transcript, std::optional<QString> audioURL, std::optional<QString> recognitionWarning,
    bool liveTextIsIncomplete, HUDPresentationMode hudPresentation) {
    const QString trimmed = textkit::trimmed(transcript);
    if (!audioURL || (!trimmed.isEmpty() && !recognitionWarning && !liveTextIsIncomplete))
        co_return SupplementOutcome{transcript, recognitionWarning, std::nullopt};

    const bool liveWasEmpty = trimmed.isEmpty();
    if (hudPresentation == HUDPresentationMode::standard) {
        m_floatingPanelCoordinator->showThinking(
            QStringLiteral("Vellup补偿识别"),
            liveWasEmpty ? QStringLiteral("实时流式未产出文本，正在补一遍Vellup录音 ASR")
                         : QStringLiteral("实时流式结果不稳定，正在补一遍Vellup录音 ASR"));
    }
    const std::optional<VellupSpeechLexiconConfiguration> lexicon =
        m_lexicon->compiledSpeechLexiconConfiguration();
    SpeechOperation<QString> recognition = [this, file = *audioURL,
                                            lexicon](VellupSpeechConfiguration c) {
        return m_audioFileTranscriptionRunner(file, std::move(c), lexicon);
    };
    SpeechResult<QString> recognized;
    std::exception_ptr failure;
    try {
        recognized = co_await m_gatewayRecovery->performSpeechOperation(std::move(recognition));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_return SupplementOutcome{
            transcript,
            DictationResultTexts::withWarning(recognitionWarning,
                                              QStringLiteral("Vellup录音 ASR 补偿失败：") +
                                                  describeError(failure)),
            std::nullopt};
    }
    if (!recognized) {
        co_return SupplementOutcome{
            transcript,
            DictationResultTexts::withWarning(
                recognitionWarning, QStringLiteral("Vellup录音 ASR 补偿失败：录音 ASR 配置不可用")),
            std::nullopt};
    }
    const QString text = textkit::trimmed(recognized->value);
    if (text.isEmpty())
        co_return SupplementOutcome{transcript, recognitionWarning, std::nullopt};
    co_return SupplementOutcome{
        text, std::nullopt,
        liveWasEmpty ? QStringLiteral("实时流式未产出文本，已自动切换为Vellup录音 ASR 结果")
                     : QStringLiteral("实时流式结果不稳定，已自动改用Vellup录音 ASR 结果")};
}

QString TranscriberViewModel::replacedTranscript(const QString &heard) const {
    const QString replaced = LocalReplacementEngine::apply(heard, m_personalLexiconEntries).text;
    // Replacements never leave a dictation with nothing.
    return textkit::isBlank(replaced) ? heard : replaced;
}

NaturalModeStage TranscriberViewModel::stageFor(double duration, const QString &text) {
    return NaturalModeStage::resolve(duration, text);
}

TranscriptRecord TranscriberViewModel::newRecord(double duration, const QString &transcript,
                                                 const QString &rawTranscript,
                                                 std::optional<QString> audioFileName,
                                                 TranscriptRecordStatus status,
                                                 const QString &note) const {
    TranscriptRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = m_systemDate();
    record.duration = duration;
    record.transcript = transcript;
    if (rawTranscript != transcript)
        record.rawTranscript = rawTranscript;
    record.audioFileName = std::move(audioFileName);
    record.status = status;
    if (!note.isEmpty())
        record.note = note;
    return record;
}

TranscriptRecord TranscriberViewModel::storedVersion(const TranscriptRecord &record) const {
    for (const TranscriptRecord &stored : m_records) {
        if (stored.id == record.id)
            return stored;
    }
    return record;
}

} // namespace tovalit
