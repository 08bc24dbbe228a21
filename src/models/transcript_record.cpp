#include "models/transcript_record.h"

#include "support/json_text.h"
#include "support/textkit.h"
#include "support/uuid_text.h"

#include <cmath>
#include <limits>

namespace tovalit {

QString rawValue(TranscriptRecordStatus status) {
    switch (status) {
    case TranscriptRecordStatus::completed:
        return QStringLiteral("completed");
    case TranscriptRecordStatus::warning:
        return QStringLiteral("warning");
    case TranscriptRecordStatus::failed:
        return QStringLiteral("failed");
    }
    return {};
}

std::optional<TranscriptRecordStatus> transcriptRecordStatusFromRawValue(QStringView raw) {
    if (raw == u"completed")
        return TranscriptRecordStatus::completed;
    if (raw == u"warning")
        return TranscriptRecordStatus::warning;
    if (raw == u"failed")
        return TranscriptRecordStatus::failed;
    return std::nullopt;
}

QString label(TranscriptRecordStatus status) {
    switch (status) {
    case TranscriptRecordStatus::completed:
        return QStringLiteral("完成");
    case TranscriptRecordStatus::warning:
        return QStringLiteral("需留意");
    case TranscriptRecordStatus::failed:
        return QStringLiteral("失败");
    }
    return {};
}

namespace {

QString twoDigits(qint64 value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// The note says only that the inserted text could not be confirmed by
// reading it back, and reports no real failure.
bool isPasteVerificationOnlyWarning(const std::optional<QString> &note) {
    if (!note)
        return false;
    const QString text = textkit::trimmed(*note);
    if (text.isEmpty())
        return false;
    const bool unverified = text.contains(u"不允许确认结果") || text.contains(u"不支持回读确认");
    const bool failure = text.contains(u"失败") || text.contains(u"错误") ||
                         text.contains(u"异常") || text.contains(u"未产出可用文本");
    return unverified && !failure;
}

} // namespace

QString TranscriptRecord::formattedDuration() const {
    if (!std::isfinite(duration) || duration < 0)
        return QStringLiteral("00:00");
    // Past the 64-bit range the count saturates rather than wrapping.
    constexpr double limit = 9223372036854775807.0;
    const qint64 total = duration >= limit ? std::numeric_limits<qint64>::max()
                                           : static_cast<qint64>(std::llround(duration));
    if (total < 3600)
        return twoDigits(total / 60) + u':' + twoDigits(total % 60);
    return twoDigits(total / 3600) + u':' + twoDigits((total / 60) % 60) + u':' +
           twoDigits(total % 60);
}

QString TranscriptRecord::formattedCreatedAt() const {
    return createdAt.toLocalTime().toString(QStringLiteral("MM-dd HH:mm:ss"));
}

TranscriptRecordStatus TranscriptRecord::presentationStatus() const {
    if (status == TranscriptRecordStatus::warning && isPasteVerificationOnlyWarning(note))
        return TranscriptRecordStatus::completed;
    return status;
}

bool TranscriptRecord::canRetry() const {
    return audioFileName.has_value() && status != TranscriptRecordStatus::completed;
}

QJsonObject TranscriptRecord::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("id"), uuidtext::upper(id));
    json::insertDate(object, QStringLiteral("createdAt"), createdAt);
    object.insert(QStringLiteral("duration"), duration);
    object.insert(QStringLiteral("transcript"), transcript);
    json::insertIfPresent(object, QStringLiteral("rawTranscript"), rawTranscript);
    json::insertIfPresent(object, QStringLiteral("audioFileName"), audioFileName);
    json::insertIfPresent(object, QStringLiteral("transcriptFileName"), transcriptFileName);
    object.insert(QStringLiteral("status"), rawValue(status));
    json::insertIfPresent(object, QStringLiteral("note"), note);
    return object;
}

namespace {

// A member that may be missing or null; any other non-string is malformed.
bool readOptionalString(const QJsonObject &object, QStringView key, std::optional<QString> &out) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

} // namespace

std::optional<TranscriptRecord> TranscriptRecord::fromJson(const QJsonObject &object) {
    const auto idText = json::string(object, u"id");
    const auto id = idText ? uuidtext::parse(*idText) : std::nullopt;
    const auto createdAt = json::date(object, u"createdAt");
    const auto duration = json::number(object, u"duration");
    const auto transcript = json::string(object, u"transcript");
    if (!id || !createdAt || !duration || !transcript)
        return std::nullopt;

    TranscriptRecord record;
    record.id = *id;
    record.createdAt = *createdAt;
    record.duration = *duration;
    record.transcript = *transcript;
    if (!readOptionalString(object, u"rawTranscript", record.rawTranscript) ||
        !readOptionalString(object, u"audioFileName", record.audioFileName) ||
        !readOptionalString(object, u"transcriptFileName", record.transcriptFileName) ||
        !readOptionalString(object, u"note", record.note)) {
        return std::nullopt;
    }
    std::optional<QString> statusText;
    if (!readOptionalString(object, u"status", statusText))
        return std::nullopt;
    if (statusText) {
        const auto status = transcriptRecordStatusFromRawValue(*statusText);
        if (!status)
            return std::nullopt;
        record.status = *status;
    }
    return record;
}

} // namespace tovalit
