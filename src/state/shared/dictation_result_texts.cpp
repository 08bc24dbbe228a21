#include "state/shared/dictation_result_texts.h"

#include "services/speech/vellup_streaming_transcriber_error.h"
#include "support/textkit.h"

namespace tovalit {

const QString DictationResultTexts::noteSeparator = QStringLiteral("；");

QString DictationResultTexts::withWarning(const std::optional<QString> &warning,
                                          const QString &addition) {
    return warning ? *warning + noteSeparator + addition : addition;
}

std::optional<DictationResultTexts::FinalizationFallback>
DictationResultTexts::finalizationFallback(std::exception_ptr error) {
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

TranscriptRecordStatus
DictationResultTexts::completionStatus(const QString &transcript,
                                       const std::optional<QString> &recognitionWarning,
                                       std::optional<InsertionResult> deliveryResult) {
    if (textkit::isBlank(transcript))
        return TranscriptRecordStatus::failed;
    if (recognitionWarning)
        return TranscriptRecordStatus::warning;
    if (deliveryResult && requiresAttention(*deliveryResult))
        return TranscriptRecordStatus::warning;
    return TranscriptRecordStatus::completed;
}

std::optional<QString>
DictationResultTexts::baseRecordNote(const std::optional<QString> &recognitionWarning,
                                     std::optional<InsertionResult> deliveryResult) {
    QStringList parts;
    if (recognitionWarning)
        parts << *recognitionWarning;
    if (deliveryResult)
        parts << message(*deliveryResult);
    if (parts.isEmpty())
        return std::nullopt;
    return parts.join(noteSeparator);
}

std::optional<QString>
DictationResultTexts::completedRecordNote(const QString &transcript,
                                          const std::optional<QString> &audioFileName,
                                          const std::optional<QString> &recognitionWarning,
                                          std::optional<InsertionResult> deliveryResult) {
    const std::optional<QString> base = baseRecordNote(recognitionWarning, deliveryResult);
    if (!textkit::isBlank(transcript))
        return base;
    const QString extra = audioFileName ? QStringLiteral("本次未产出可用文本，可使用归档录音重试")
                                        : QStringLiteral("本次未产出可用文本");
    return base ? *base + noteSeparator + extra : extra;
}

std::optional<QString> DictationResultTexts::hudToastMessage(TranscriptRecordStatus status,
                                                             const std::optional<QString> &note) {
    if (status == TranscriptRecordStatus::completed || !note)
        return std::nullopt;
    const QString trimmed = textkit::trimmed(*note);
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

QString DictationResultTexts::joinedNote(const QList<std::optional<QString>> &parts) {
    QStringList kept;
    for (const std::optional<QString> &part : parts) {
        if (part && !textkit::isBlank(*part))
            kept << *part;
    }
    return kept.join(noteSeparator);
}

} // namespace tovalit
