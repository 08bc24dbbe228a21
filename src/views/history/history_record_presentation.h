#pragma once

#include "models/transcript_record.h"
#include "views/design/tovalit_badge_tone.h"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>

// How the history page shows a record: its texts, its status and which of
// them a search finds. Pure functions of the record.
namespace tovalit::HistoryRecordPresentation {

// The number of characters (grapheme clusters) a collapsed card shows.
inline constexpr qsizetype previewCharacterLimit = 120;

// The records, in their order, whose transcript or note contains the
// trimmed search text regardless of case; all of them for a blank search.
QList<TranscriptRecord> filteredRecords(const QList<TranscriptRecord> &records,
                                        const QString &searchText);

// The trimmed transcript, or a sentence saying that there is none.
QString displayText(const TranscriptRecord &record);
// The display text cut to its first 120 characters and "…".
QString previewText(const TranscriptRecord &record);
bool canExpand(const TranscriptRecord &record);
// The line under the text, by the note and the shown status; none for a
// completed record without a telling note.
std::optional<QString> secondaryMessage(const TranscriptRecord &record);

// By the shown status ("完成", "需留意", "失败").
QString statusBadgeTitle(TranscriptRecordStatus status);
TovalitBadgeTone statusBadgeTone(TranscriptRecordStatus status);
QString secondaryMessageIcon(TranscriptRecordStatus status);
QColor secondaryMessageColor(TranscriptRecordStatus status);

} // namespace tovalit::HistoryRecordPresentation
