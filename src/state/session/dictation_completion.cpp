// What a recognised dictation becomes once its recording has ended: the
// recording recognised again where the live text falls short, the
// lexicon's replacements, the record and the completion panel.

#include "state/session/dictation_completion.h"

#include "services/lexicon/local_replacement_engine.h"
#include "state/session/dictation_session_host.h"
#include "state/shared/dictation_result_texts.h"
#include "state/shared/floating_panel_coordinating.h"
#include "support/app_error.h"
#include "support/textkit.h"

namespace tovalit {

DictationCompletion::DictationCompletion(
    DictationSessionHost &host, GatewaySessionRecovery &gatewayRecovery,
    std::shared_ptr<FloatingPanelCoordinating> floatingPanelCoordinator,
    DictationDelivery &delivery, AudioFileTranscriptionRunner audioFileTranscriptionRunner,
    Clock systemDate)
    : m_host(host)
    , m_gatewayRecovery(gatewayRecovery)
    , m_floatingPanelCoordinator(std::move(floatingPanelCoordinator))
    , m_delivery(delivery)
    , m_audioFileTranscriptionRunner(std::move(audioFileTranscriptionRunner))
    , m_systemDate(std::move(systemDate)) {}

void DictationCompletion::finishWithCompletionPanel(std::optional<InsertionResult> result,
                                                    const QString &text,
                                                    const InstructionRoutingResult &routing,
                                                    TranscriptRecordStatus status,
                                                    const QString &note) {
    if (result.has_value() && insertionFailed(*result)) {
        m_delivery.presentDeliveryFailureFeedbackIfNeeded(*result, text);
        return;
    }
    // While a new instruction waits behind its undo toast, the panel is
    // the instruction's.
    if (routing.shouldShowCompletionHUD()) {
        m_floatingPanelCoordinator->showCompletion(DictationResultTexts::hudToastMessage(
            status, note.isEmpty() ? std::nullopt : std::optional(note)));
    }
}

QCoro::Task<DictationCompletion::SupplementOutcome>
DictationCompletion::supplementWithArchivedVellupASRIfNeeded(
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
    const std::optional<VellupSpeechLexiconConfiguration> lexicon = m_host.compiledSpeechLexicon();
    SpeechOperation<QString> recognition =
        [runner = m_audioFileTranscriptionRunner, file = *audioURL,
         lexicon](VellupSpeechConfiguration c) { return runner(file, std::move(c), lexicon); };
    SpeechResult<QString> recognized;
    std::exception_ptr failure;
    try {
        recognized = co_await m_gatewayRecovery.performSpeechOperation(std::move(recognition));
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

QString DictationCompletion::replacedTranscript(const QString &heard) const {
    const QString replaced =
        LocalReplacementEngine::apply(heard, m_host.personalLexiconEntries()).text;
    // Replacements never leave a dictation with nothing.
    return textkit::isBlank(replaced) ? heard : replaced;
}

NaturalModeStage DictationCompletion::stageFor(double duration, const QString &text) {
    return NaturalModeStage::resolve(duration, text);
}

TranscriptRecord DictationCompletion::newRecord(double duration, const QString &transcript,
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

QCoro::Task<QString>
DictationCompletion::transcribeAudioFile(QString audioFile, VellupSpeechConfiguration configuration,
                                         std::optional<VellupSpeechLexiconConfiguration> lexicon) {
    return m_audioFileTranscriptionRunner(std::move(audioFile), std::move(configuration),
                                          std::move(lexicon));
}

} // namespace tovalit
