#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>

// ISO-8601 internet date-time text, as every stored file and wire format of
// the application writes it.
namespace tovalit::iso8601 {

// "2026-03-07T01:05:01Z": UTC, whole seconds (any fraction is dropped).
QString formatUtcSeconds(const QDateTime &time);
// "2026-03-07T01:05:01.123Z": UTC with milliseconds, for log lines.
QString formatUtcMilliseconds(const QDateTime &time);
// Strict reading of the whole-second form: "YYYY-MM-DDTHH:MM:SS" followed
// by "Z" or a numeric offset ("+08:00", "+0800"). Fractional seconds, a
// missing offset, lower-case separators and out-of-range fields are refused.
std::optional<QDateTime> parseStrict(QStringView text);
// The whole-second form truncating the time to whole seconds.
QDateTime wholeSeconds(const QDateTime &time);

} // namespace tovalit::iso8601
