#include "services/lexicon/personal_lexicon_compiler.h"

#include "services/lexicon/lexicon_term_validator.h"
#include "support/textkit.h"

#include <QHash>

#include <algorithm>
#include <numeric>

namespace tovalit::PersonalLexiconCompiler {

namespace {

// One entry per key, the preferred one kept at the position where its key
// first appeared.
template <typename KeyOf>
QList<PersonalLexiconEntry> deduplicated(const QList<PersonalLexiconEntry> &entries, KeyOf keyOf) {
    QList<PersonalLexiconEntry> kept;
    QHash<QString, qsizetype> positionByKey;
    positionByKey.reserve(entries.size());
    for (const PersonalLexiconEntry &entry : entries) {
        const std::optional<QString> key = keyOf(entry);
        if (!key)
            continue;
        const auto found = positionByKey.constFind(*key);
        if (found == positionByKey.constEnd()) {
            positionByKey.insert(*key, kept.size());
            kept.append(entry);
        } else if (LexiconTermValidator::shouldPrefer(entry, &kept[*found])) {
            kept[*found] = entry;
        }
    }
    return kept;
}

QList<PersonalLexiconEntry> deduplicatedHotwordEntries(const QList<PersonalLexiconEntry> &entries) {
    return deduplicated(entries, [](const PersonalLexiconEntry &entry) -> std::optional<QString> {
        if (entry.channel != PersonalLexiconChannel::boost ||
            entry.kind != PersonalLexiconEntryKind::hotword || entry.targetText.isEmpty()) {
            return std::nullopt;
        }
        return entry.normalizedTargetKey();
    });
}

QList<PersonalLexiconEntry>
deduplicatedReplacementEntries(const QList<PersonalLexiconEntry> &entries) {
    return deduplicated(entries, [](const PersonalLexiconEntry &entry) -> std::optional<QString> {
        if (entry.channel != PersonalLexiconChannel::replace ||
            entry.kind != PersonalLexiconEntryKind::replacement) {
            return std::nullopt;
        }
        auto key = entry.normalizedSourceKey();
        if (!key || key->isEmpty())
            return std::nullopt;
        return key;
    });
}

// A stable sort on precomputed keys: the comparisons run thousands of
// times, the grapheme counts and collation only once per entry or tie.
struct SortKey {
    qsizetype sourceLength = 0;
    qint64 hitCount = 0;
    qint64 updatedAt = 0;
    QString text;
};

QList<PersonalLexiconEntry> sortedByKeys(const QList<PersonalLexiconEntry> &entries,
                                         const std::vector<SortKey> &keys) {
    std::vector<qsizetype> order(static_cast<size_t>(entries.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys](qsizetype a, qsizetype b) {
        const SortKey &left = keys[static_cast<size_t>(a)];
        const SortKey &right = keys[static_cast<size_t>(b)];
        if (left.sourceLength != right.sourceLength)
            return left.sourceLength > right.sourceLength;
        if (left.hitCount != right.hitCount)
            return left.hitCount > right.hitCount;
        if (left.updatedAt != right.updatedAt)
            return left.updatedAt > right.updatedAt;
        return textkit::localizedStandardCompare(left.text, right.text) < 0;
    });
    QList<PersonalLexiconEntry> sorted;
    sorted.reserve(entries.size());
    for (const qsizetype index : order)
        sorted.append(entries[index]);
    return sorted;
}

std::optional<QString> validatedTableName(const std::optional<QString> &stored,
                                          const QString &expected) {
    if (!stored)
        return std::nullopt;
    QString trimmed = textkit::trimmed(*stored);
    if (trimmed.isEmpty() || trimmed != expected)
        return std::nullopt;
    return trimmed;
}

} // namespace

qint64 hotwordWeight(qint64 hitCount) {
    return std::clamp<qint64>(hitCount, 4, 10);
}

QList<PersonalLexiconEntry> makeHotwords(const QList<PersonalLexiconEntry> &entries) {
    // Deduplication comes first: a history candidate can win its key and
    // then drop out, taking the key with it.
    QList<PersonalLexiconEntry> taking;
    std::vector<SortKey> keys;
    for (const PersonalLexiconEntry &entry : deduplicatedHotwordEntries(entries)) {
        if (!entry.participatesInRecognition() ||
            !LexiconTermValidator::cloudCompatibleHotword(entry.targetText)) {
            continue;
        }
        keys.push_back({0, entry.hitCount, entry.updatedAt.toMSecsSinceEpoch(), entry.targetText});
        taking.append(entry);
    }
    return sortedByKeys(taking, keys);
}

QList<PersonalLexiconEntry> makeReplacementEntries(const QList<PersonalLexiconEntry> &entries) {
    QList<PersonalLexiconEntry> taking;
    std::vector<SortKey> keys;
    for (const PersonalLexiconEntry &entry : deduplicatedReplacementEntries(entries)) {
        if (!entry.participatesInRecognition() || !entry.sourceText ||
            !LexiconTermValidator::cloudCompatibleReplacementPair(*entry.sourceText,
                                                                  entry.targetText)) {
            continue;
        }
        keys.push_back({textkit::graphemeCount(*entry.sourceText), entry.hitCount,
                        entry.updatedAt.toMSecsSinceEpoch(), entry.displayText()});
        taking.append(entry);
    }
    return sortedByKeys(taking, keys);
}

QString expectedHotwordTableName(const PersonalLexiconCloudState &cloudState) {
    return hotwordTableNamePrefix.toString() +
           PersonalLexiconCloudState::sanitizedSyncNamespace(cloudState.syncNamespace);
}

QString expectedReplacementTableName(const PersonalLexiconCloudState &cloudState) {
    return replacementTableNamePrefix.toString() +
           PersonalLexiconCloudState::sanitizedSyncNamespace(cloudState.syncNamespace);
}

std::optional<QString> validatedHotwordTableName(const PersonalLexiconCloudState &cloudState) {
    // Without a usable namespace the expected name is random, so nothing
    // stored can match it.
    return validatedTableName(cloudState.hotwordTableName, expectedHotwordTableName(cloudState));
}

std::optional<QString> validatedReplacementTableName(const PersonalLexiconCloudState &cloudState) {
    return validatedTableName(cloudState.replacementTableName,
                              expectedReplacementTableName(cloudState));
}

std::optional<VellupSpeechLexiconConfiguration>
makeSpeechConfiguration(const PersonalLexiconSnapshot &snapshot) {
    const QList<PersonalLexiconEntry> hotwords = makeHotwords(snapshot.entries);
    const QList<PersonalLexiconEntry> replacements = makeReplacementEntries(snapshot.entries);
    const PersonalLexiconCloudState &cloud = snapshot.cloudState;

    VellupSpeechLexiconConfiguration configuration;
    if (!hotwords.isEmpty()) {
        if (auto name = validatedHotwordTableName(cloud)) {
            configuration.boostingTableName = std::move(name);
            configuration.boostingTableID = cloud.hotwordTableID;
        }
    }
    if (!replacements.isEmpty()) {
        if (auto name = validatedReplacementTableName(cloud)) {
            configuration.correctTableName = std::move(name);
            configuration.correctTableID = cloud.replacementTableID;
        }
    }
    // The remote table replaces the inline list; replacements have no
    // inline form.
    if (!configuration.boostingTableName) {
        const qsizetype count =
            std::min(hotwords.size(), VellupSpeechLexiconConfiguration::maximumInlineHotwords);
        configuration.inlineHotwords.reserve(count);
        for (qsizetype i = 0; i < count; ++i)
            configuration.inlineHotwords.append(hotwords[i].targetText);
    }
    if (configuration.isEmpty())
        return std::nullopt;
    return configuration;
}

QStringList makeHotwordFileLines(const QList<PersonalLexiconEntry> &entries) {
    QStringList lines;
    for (const PersonalLexiconEntry &entry : makeHotwords(entries))
        lines.append(entry.targetText + u'|' + QString::number(hotwordWeight(entry.hitCount)));
    return lines;
}

QStringList makeReplacementFileLines(const QList<PersonalLexiconEntry> &entries) {
    QStringList lines;
    for (const PersonalLexiconEntry &entry : makeReplacementEntries(entries)) {
        if (!entry.sourceText || entry.sourceText->isEmpty())
            continue;
        const auto pair = LexiconTermValidator::cloudCompatibleReplacementPair(*entry.sourceText,
                                                                               entry.targetText);
        if (pair)
            lines.append(pair->source + u'|' + pair->target);
    }
    return lines;
}

} // namespace tovalit::PersonalLexiconCompiler
