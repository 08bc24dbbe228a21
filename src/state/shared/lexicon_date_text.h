#pragma once

#include <QDateTime>
#include <QString>

namespace tovalit {

// How the lexicon's status line and learning's messages give a moment.
class LexiconDateText {
public:
    LexiconDateText() = delete;

    // "MM-dd HH:mm" in local time.
    static QString format(const QDateTime &date);
};

} // namespace tovalit
