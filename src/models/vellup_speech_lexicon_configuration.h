#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tovalit {

// What one recognition request carries of the personal lexicon: the remote
// tables by identifier or name, and hot words sent inline.
struct VellupSpeechLexiconConfiguration {
    // Requests carry at most this many inline hot words.
    static constexpr qsizetype maximumInlineHotwords = 5000;

    std::optional<QString> boostingTableID;
    std::optional<QString> boostingTableName;
    std::optional<QString> correctTableID;
    std::optional<QString> correctTableName;
    QStringList inlineHotwords;

    bool isEmpty() const {
        return !boostingTableID && !boostingTableName && !correctTableID && !correctTableName &&
               inlineHotwords.isEmpty();
    }

    bool operator==(const VellupSpeechLexiconConfiguration &) const = default;
};

} // namespace tovalit
