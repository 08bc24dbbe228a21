#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace tovalit {

// A moment as people of `locale` write it with an abbreviated date and a
// short time, in the local time zone ("2026年3月7日 09:05",
// "Mar 7, 2026, 9:05 AM").
QString abbreviatedDateTime(const QDateTime &moment, const QLocale &locale = QLocale());

} // namespace tovalit
