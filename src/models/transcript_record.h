#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tovalit {

// How a dictation ended. Stored as the raw value.
enum class TranscriptRecordStatus { completed, warning, failed };

// "completed", "warning", "failed".
QString rawValue(TranscriptRecordStatus status);
std::optional<TranscriptRecordStatus> transcriptRecordStatusFromRawValue(QStringView raw);
// "完成", "需留意", "失败": what the history list and the transcript files show.
QString label(TranscriptRecordStatus status);

// One entry of the dictation history. A changed record is a new value; two
// records with the same id are one record to the history store.
struct TranscriptRecord {
    QUuid id;
    QDateTime createdAt;
    // Seconds of recorded audio.
    double duration = 0;
    // The delivered text; may be empty.
    QString transcript;
    // The recogniser's own text.
    std::optional<QString> rawTranscript;
    // Names only, no folders: the recording in the recordings folder and the
    // readable file in the transcripts folder.
    std::optional<QString> audioFileName;
    std::optional<QString> transcriptFileName;
    TranscriptRecordStatus status = TranscriptRecordStatus::completed;
    // A short remark on a warning or failure.
    std::optional<QString> note;

    // "mm:ss" below an hour, else "hh:mm:ss" (hours may run past two
    // digits). A negative or non-finite duration shows as "00:00".
    QString formattedDuration() const;
    // "MM-dd HH:mm:ss" in the local time zone; no year.
    QString formattedCreatedAt() const;
    // A warning whose note only says the insertion could not be read back
    // is shown as completed; the stored status stays a warning.
    TranscriptRecordStatus presentationStatus() const;
    // A recording to retry from, and a stored status other than completed.
    bool canRetry() const;

    // The element form of the history file: keys equal to the field names,
    // the id upper-case, the date as whole-second ISO-8601 UTC, absent
    // optionals left out.
    QJsonObject toJson() const;
    // Nothing when "id", "createdAt", "duration" or "transcript" is missing,
    // null or of the wrong type, or "status" is an unknown text. A missing
    // or null status reads as completed; unknown keys are ignored.
    static std::optional<TranscriptRecord> fromJson(const QJsonObject &object);

    bool operator==(const TranscriptRecord &) const = default;
};

} // namespace tovalit
