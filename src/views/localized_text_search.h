#pragma once

#include <QStringView>

namespace tovalit {

// Whether `text` contains `query` regardless of letter case (full Unicode
// case folding, so "STRASSE" finds "straße"), as the pages' search fields
// match. Diacritics and width still count. An empty query is contained in
// every text.
bool localizedCaseInsensitiveContains(QStringView text, QStringView query);

} // namespace tovalit
