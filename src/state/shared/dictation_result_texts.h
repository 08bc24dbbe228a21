#pragma once

#include "models/insertion_result.h"
#include "models/transcript_record.h"

#include <QList>
#include <QString>

#include <exception>
#include <optional>

namespace tovalit {

// The status and notes a dictation's outcome gives its record and its
// panel; the stop and the retry of an archived recording share them.
class DictationResultTexts {
public:
    DictationResultTexts() = delete;

    static TranscriptRecordStatus completionStatus(const QString &transcript,
                                                   const std::optional<QString> &recognitionWarning,
                                                   std::optional<InsertionResult> deliveryResult);
    static std::optional<QString> baseRecordNote(const std::optional<QString> &recognitionWarning,
                                                 std::optional<InsertionResult> deliveryResult);
    static std::optional<QString>
    completedRecordNote(const QString &transcript, const std::optional<QString> &audioFileName,
                        const std::optional<QString> &recognitionWarning,
                        std::optional<InsertionResult> deliveryResult);
    static std::optional<QString> hudToastMessage(TranscriptRecordStatus status,
                                                  const std::optional<QString> &note);
    // Present, non-blank parts joined with "；"; the parts are not trimmed.
    static QString joinedNote(const QList<std::optional<QString>> &parts);
    // The incoming warning (when there is one) and `addition`.
    static QString withWarning(const std::optional<QString> &warning, const QString &addition);

    // What a live recogniser that could not finish still had, and the
    // warning its record carries; nothing for any other failure.
    struct FinalizationFallback {
        QString text;
        QString warning;
    };
    static std::optional<FinalizationFallback> finalizationFallback(std::exception_ptr error);

    static const QString noteSeparator;
};

} // namespace tovalit
