#pragma once

#include "models/transcript_record.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTimeZone>

#include <optional>

namespace tovalit {

// What a readable transcript file tells about its record.
struct TranscriptFileFields {
    std::optional<QDateTime> createdAt;
    double duration = 0;
    TranscriptRecordStatus status = TranscriptRecordStatus::completed;
    std::optional<QString> note;
    QString transcript;
    std::optional<QString> rawTranscript;
};

// The readable ".txt" beside each record: a header of "时间：", "时长：",
// "状态：" and "备注：" lines, an empty line, the text, and the recogniser's
// own text under "原始转写：" when it differs.
class TranscriptFileFormat {
public:
    TranscriptFileFormat() = delete;

    // The file for `record` with its trimmed text: lines joined by "\n",
    // none after the last.
    static QString transcriptFileContents(const TranscriptRecord &record,
                                          const QString &transcript);

    // Reads a file back. The year is not in the file: it is taken from
    // `now` in `zone` (the files are written in the system's zone), and a
    // date that would then lie more than a day after `now` is put in the
    // year before.
    static TranscriptFileFields parse(QStringView contents, const QDateTime &now,
                                      const QTimeZone &zone = QTimeZone::systemTimeZone());

    // Lines split at every line break (LF, CR, VT, FF, NEL, LS, PS), with
    // CR LF counted as one.
    static QStringList splitLines(QStringView text);
    // "MM-dd HH:mm:ss" in `zone`, in the year of `now`; a UTC date.
    static std::optional<QDateTime>
    parsedCreatedAt(QStringView value, const QDateTime &now,
                    const QTimeZone &zone = QTimeZone::systemTimeZone());
    // "mm:ss" or "hh:mm:ss" in seconds; pieces that are not whole numbers
    // are dropped first; nothing for any other count or on overflow.
    static std::optional<double> parsedDuration(QStringView value);
    static std::optional<TranscriptRecordStatus> parsedStatus(QStringView value);
    // The rest of `text` after `prefix`, or nothing.
    static std::optional<QStringView> stripPrefix(QStringView text, QStringView prefix);
};

} // namespace tovalit
