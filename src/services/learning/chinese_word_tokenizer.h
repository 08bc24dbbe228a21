#pragma once

#include <QStringList>
#include <QStringView>

namespace tovalit {

// Splits text into words the way a Simplified Chinese reader would (ICU's
// dictionary-based word breaks for zh_CN; Latin words and numbers as
// usual). Only words are returned: letters, numbers, kana and ideographs,
// never spaces or punctuation. Domain terms may come out split
// ("热词表" -> "热", "词表").
class ChineseWordTokenizer {
public:
    static QStringList wordTokens(QStringView text);
};

} // namespace tovalit
