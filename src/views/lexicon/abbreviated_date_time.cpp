#include "views/lexicon/abbreviated_date_time.h"

#include <memory>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tovalit {

QString abbreviatedDateTime(const QDateTime &moment, const QLocale &locale) {
    const icu::Locale icuLocale(locale.name().toUtf8().constData());
    const std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icuLocale));
    if (!format)
        return QLocale(locale).toString(moment.toLocalTime(), QLocale::ShortFormat);
    icu::UnicodeString text;
    format->format(UDate(moment.toMSecsSinceEpoch()), text);
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

} // namespace tovalit
