#include "views/history/history_record_presentation.h"

#include "support/textkit.h"
#include "views/design/tovalit_palette.h"
#include "views/localized_text_search.h"

namespace tovalit::HistoryRecordPresentation {

QList<TranscriptRecord> filteredRecords(const QList<TranscriptRecord> &records,
                                        const QString &searchText) {
    const QString query = textkit::trimmed(searchText);
    if (query.isEmpty())
        return records;
    QList<TranscriptRecord> found;
    for (const TranscriptRecord &record : records) {
        if (localizedCaseInsensitiveContains(record.transcript, query) ||
            (record.note && localizedCaseInsensitiveContains(*record.note, query)))
            found << record;
    }
    return found;
}

QString displayText(const TranscriptRecord &record) {
    const QString text = textkit::trimmed(record.transcript);
    if (!text.isEmpty())
        return text;
    return record.status == TranscriptRecordStatus::failed
               ? QStringLiteral("本次未产出可用文本，可查看备注或用归档录音重试。")
               : QStringLiteral("本次未产出可用文本。");
}

QString previewText(const TranscriptRecord &record) {
    const QString display = displayText(record);
    const QString trimmed = textkit::trimmed(display);
    if (trimmed.isEmpty())
        return display;
    if (textkit::graphemeCount(trimmed) > previewCharacterLimit)
        return textkit::graphemePrefix(trimmed, previewCharacterLimit) + QChar(0x2026);
    return trimmed;
}

bool canExpand(const TranscriptRecord &record) {
    return previewText(record) != displayText(record);
}

std::optional<QString> secondaryMessage(const TranscriptRecord &record) {
    const TranscriptRecordStatus shown = record.presentationStatus();
    const QString note = record.note ? textkit::trimmed(*record.note) : QString();
    if (!note.isEmpty()) {
        if (note.contains(u"复制到剪贴板"))
            return QStringLiteral("未自动插入，结果已复制。");
        if (note.contains(u"未产出可用文本"))
            return QStringLiteral("本次没有得到可用文本。");
        if (shown == TranscriptRecordStatus::completed)
            return std::nullopt;
        return note;
    }
    if (shown == TranscriptRecordStatus::failed)
        return QStringLiteral("本次转写失败，可稍后重试。");
    return std::nullopt;
}

QString statusBadgeTitle(TranscriptRecordStatus status) {
    return label(status);
}

TovalitBadgeTone statusBadgeTone(TranscriptRecordStatus status) {
    switch (status) {
    case TranscriptRecordStatus::completed:
        return TovalitBadgeTone::success;
    case TranscriptRecordStatus::warning:
        return TovalitBadgeTone::warning;
    case TranscriptRecordStatus::failed:
        return TovalitBadgeTone::danger;
    }
    return TovalitBadgeTone::neutral;
}

QString secondaryMessageIcon(TranscriptRecordStatus status) {
    switch (status) {
    case TranscriptRecordStatus::completed:
        return QStringLiteral("checkmark.circle");
    case TranscriptRecordStatus::warning:
        return QStringLiteral("exclamationmark.triangle");
    case TranscriptRecordStatus::failed:
        return QStringLiteral("xmark.octagon");
    }
    return {};
}

QColor secondaryMessageColor(TranscriptRecordStatus status) {
    switch (status) {
    case TranscriptRecordStatus::completed:
        return TovalitPalette::secondary();
    case TranscriptRecordStatus::warning:
        return TovalitPalette::orange();
    case TranscriptRecordStatus::failed:
        return TovalitPalette::red();
    }
    return TovalitPalette::secondary();
}

} // namespace tovalit::HistoryRecordPresentation
