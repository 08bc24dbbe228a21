#include "services/history/transcript_file_format.h"

#include "support/textkit.h"

#include <limits>

namespace tovalit {

namespace {

const QString timeLabel = QStringLiteral("时间：");
const QString durationLabel = QStringLiteral("时长：");
const QString statusLabel = QStringLiteral("状态：");
const QString noteLabel = QStringLiteral("备注：");
const QString rawLabel = QStringLiteral("原始转写：");

bool isLineBreak(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// A whole decimal number with an optional sign, ASCII digits only.
std::optional<qint64> wholeNumber(QStringView text) {
    qsizetype start = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        start = 1;
    }
    if (start == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_add_overflow(value, negative ? -digit : digit, &value)) {
            return std::nullopt;
        }
    }
    return value;
}

struct DateFields {
    int month, day, hour, minute, second;
};

// "MM-dd HH:mm:ss" (one or two digits for month, day and hour, as the
// date format reads them; exactly two for minutes and seconds).
std::optional<DateFields> dateFields(QStringView text) {
    qsizetype position = 0;
    const auto number = [&](int minDigits, int maxDigits) -> int {
        int value = 0;
        int digits = 0;
        while (position < text.size() && digits < maxDigits && text[position] >= u'0' &&
               text[position] <= u'9') {
            value = value * 10 + (text[position].unicode() - u'0');
            ++position;
            ++digits;
        }
        return digits >= minDigits ? value : -1;
    };
    const auto separator = [&](char16_t expected) {
        if (position < text.size() && text[position] == expected) {
            ++position;
            return true;
        }
        return false;
    };
    DateFields fields{};
    fields.month = number(1, 2);
    if (fields.month < 0 || !separator(u'-'))
        return std::nullopt;
    fields.day = number(1, 2);
    if (fields.day < 0 || !separator(u' '))
        return std::nullopt;
    fields.hour = number(1, 2);
    if (fields.hour < 0 || !separator(u':'))
        return std::nullopt;
    fields.minute = number(2, 2);
    if (fields.minute < 0 || !separator(u':'))
        return std::nullopt;
    fields.second = number(2, 2);
    if (fields.second < 0 || position != text.size())
        return std::nullopt;
    return fields;
}

} // namespace

QString TranscriptFileFormat::transcriptFileContents(const TranscriptRecord &record,
                                                     const QString &transcript) {
    QStringList lines{timeLabel + record.formattedCreatedAt(),
                      durationLabel + record.formattedDuration(),
                      statusLabel + label(record.status)};
    if (record.note) {
        const QString note = textkit::trimmed(*record.note);
        if (!note.isEmpty())
            lines << noteLabel + note;
    }
    lines << QString() << transcript;
    if (record.rawTranscript) {
        const QString raw = textkit::trimmed(*record.rawTranscript);
        if (!raw.isEmpty() && raw != transcript)
            lines << QString() << rawLabel << raw;
    }
    return lines.join(u'\n');
}

TranscriptFileFields TranscriptFileFormat::parse(QStringView contents, const QDateTime &now,
                                                 const QTimeZone &zone) {
    TranscriptFileFields fields;
    bool headerMode = true;
    bool rawMode = false;
    QStringList bodyLines;
    QStringList rawLines;
    for (const QString &line : splitLines(contents)) {
        if (headerMode) {
            if (const auto rest = stripPrefix(line, timeLabel)) {
                fields.createdAt = parsedCreatedAt(*rest, now, zone);
            } else if (const auto rest = stripPrefix(line, durationLabel)) {
                if (const auto duration = parsedDuration(*rest))
                    fields.duration = *duration;
            } else if (const auto rest = stripPrefix(line, statusLabel)) {
                if (const auto status = parsedStatus(*rest))
                    fields.status = *status;
            } else if (const auto rest = stripPrefix(line, noteLabel)) {
                const QString note = textkit::trimmed(*rest);
                fields.note = note.isEmpty() ? std::nullopt : std::optional<QString>(note);
            } else if (textkit::isBlank(line)) {
                headerMode = false;
            }
            continue;
        }
        if (textkit::trimmed(line) == rawLabel) {
            rawMode = true;
            continue;
        }
        (rawMode ? rawLines : bodyLines) << line;
    }
    fields.transcript = textkit::trimmed(bodyLines.join(u'\n'));
    const QString raw = textkit::trimmed(rawLines.join(u'\n'));
    if (!raw.isEmpty())
        fields.rawTranscript = raw;
    return fields;
}

QStringList TranscriptFileFormat::splitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineBreak(text[i]))
            continue;
        lines << text.sliced(start, i - start).toString();
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    lines << text.sliced(start).toString();
    return lines;
}

std::optional<QDateTime> TranscriptFileFormat::parsedCreatedAt(QStringView value,
                                                               const QDateTime &now,
                                                               const QTimeZone &zone) {
    const QString trimmed = textkit::trimmed(value);
    const auto fields = dateFields(trimmed);
    if (!fields)
        return std::nullopt;
    const QTime time(fields->hour, fields->minute, fields->second);
    // Through an explicit zone rather than local time: the conversion then
    // needs no process-wide time-zone lookup per file.
    const auto inYear = [&](int year) -> std::optional<QDateTime> {
        const QDate date(year, fields->month, fields->day);
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        const QDateTime local(date, time, zone);
        if (!local.isValid())
            return std::nullopt;
        return local.toUTC();
    };
    const int year = now.toTimeZone(zone).date().year();
    auto date = inYear(year);
    if (!date)
        return std::nullopt;
    // A December file read in January would otherwise land eleven months
    // ahead, above every newer record.
    if (*date > now.addDays(1)) {
        if (const auto previous = inYear(year - 1))
            date = previous;
    }
    return date;
}

std::optional<double> TranscriptFileFormat::parsedDuration(QStringView value) {
    std::vector<qint64> numbers;
    for (const QStringView piece : textkit::trimmed(value).split(u':', Qt::SkipEmptyParts)) {
        if (const auto number = wholeNumber(piece))
            numbers.push_back(*number);
    }
    qint64 total = 0;
    if (numbers.size() == 2) {
        if (__builtin_mul_overflow(numbers[0], 60, &total) ||
            __builtin_add_overflow(total, numbers[1], &total)) {
            return std::nullopt;
        }
    } else if (numbers.size() == 3) {
        qint64 minutes = 0;
        if (__builtin_mul_overflow(numbers[0], 3600, &total) ||
            __builtin_mul_overflow(numbers[1], 60, &minutes) ||
            __builtin_add_overflow(total, minutes, &total) ||
            __builtin_add_overflow(total, numbers[2], &total)) {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    return static_cast<double>(total);
}

std::optional<TranscriptRecordStatus> TranscriptFileFormat::parsedStatus(QStringView value) {
    const QString trimmed = textkit::trimmed(value);
    for (const auto status : {TranscriptRecordStatus::completed, TranscriptRecordStatus::warning,
                              TranscriptRecordStatus::failed}) {
        if (trimmed == label(status))
            return status;
    }
    return std::nullopt;
}

std::optional<QStringView> TranscriptFileFormat::stripPrefix(QStringView text, QStringView prefix) {
    if (!text.startsWith(prefix))
        return std::nullopt;
    return text.sliced(prefix.size());
}

} // namespace tovalit
