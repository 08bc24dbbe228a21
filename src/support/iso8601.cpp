#include "support/iso8601.h"

namespace tovalit::iso8601 {

namespace {

// Reads `count` ASCII digits at `position`, or -1.
int digits(QStringView text, qsizetype position, int count) {
    if (position + count > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text[position + i];
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

QDateTime wholeSeconds(const QDateTime &time) {
    const qint64 milliseconds = time.toMSecsSinceEpoch();
    // Floor, not truncation toward zero, so times before 1970 round down too.
    const qint64 seconds = milliseconds >= 0 ? milliseconds / 1000 : (milliseconds - 999) / 1000;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

QString formatUtcSeconds(const QDateTime &time) {
    return wholeSeconds(time).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + u'Z';
}

QString formatUtcMilliseconds(const QDateTime &time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + u'Z';
}

std::optional<QDateTime> parseStrict(QStringView text) {
    // YYYY-MM-DDTHH:MM:SS is 19 characters.
    if (text.size() < 20)
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    if (text[4] != u'-' || text[7] != u'-' || text[10] != u'T' || text[13] != u':' ||
        text[16] != u':') {
        return std::nullopt;
    }
    const QDate date(year, month, day);
    const QTime clock(hour, minute, second);
    if (!date.isValid() || !clock.isValid())
        return std::nullopt;

    const QStringView zone = text.sliced(19);
    int offsetSeconds = 0;
    if (zone == u"Z") {
        offsetSeconds = 0;
    } else if (zone.size() == 6 || zone.size() == 5) {
        const QChar sign = zone[0];
        if (sign != u'+' && sign != u'-')
            return std::nullopt;
        const int offsetHours = digits(zone, 1, 2);
        const bool colon = zone.size() == 6;
        if (colon && zone[3] != u':')
            return std::nullopt;
        const int offsetMinutes = digits(zone, colon ? 4 : 3, 2);
        if (offsetHours < 0 || offsetMinutes < 0 || offsetHours > 23 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (offsetHours * 60 + offsetMinutes) * 60 * (sign == u'-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    const QDateTime local(date, clock, Qt::UTC);
    return local.addSecs(-offsetSeconds);
}

} // namespace tovalit::iso8601
