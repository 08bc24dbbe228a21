#include "state/shared/lexicon_date_text.h"

#include <QLocale>

namespace tovalit {

QString LexiconDateText::format(const QDateTime &date) {
    static const QLocale locale(QStringLiteral("zh_CN"));
    return locale.toString(date.toLocalTime(), QStringLiteral("MM-dd HH:mm"));
}

} // namespace tovalit
