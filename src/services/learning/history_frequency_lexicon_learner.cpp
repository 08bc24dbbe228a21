#include "services/learning/history_frequency_lexicon_learner.h"

#include "services/learning/chinese_word_tokenizer.h"
#include "services/learning/lexicon_learning_helpers.h"
#include "services/lexicon/lexicon_term_validator.h"
#include "support/textkit.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace tovalit::HistoryFrequencyLexiconLearner {

namespace {

using SyncStatus = PersonalLexiconCloudSyncStatus;

constexpr std::array<QStringView, 14> genericNouns{u"概念", u"内容", u"功能", u"问题", u"方案",
                                                   u"逻辑", u"产品", u"能力", u"模块", u"部分",
                                                   u"东西", u"情况", u"流程", u"结果"};

// Capitalised at the start of a sentence these pass the validator's test
// for an upper-case letter.
constexpr std::array<QStringView, 14> englishFillers{
    u"this", u"that",  u"with",  u"from",  u"have",  u"will",   u"just",
    u"then", u"there", u"about", u"today", u"hello", u"thanks", u"type"};

bool isUppercaseCharacter(QStringView character) {
    const std::vector<char32_t> scalars = textkit::codePoints(character);
    if (scalars.size() == 1)
        return textkit::isUppercase(scalars.front());
    const QString text = character.toString();
    return text.toUpper() == text && text.toLower() != text;
}

bool hasUppercaseCharacter(QStringView text) {
    const std::vector<qsizetype> bounds = textkit::graphemeBoundaries(text);
    for (size_t index = 0; index + 1 < bounds.size(); ++index) {
        if (isUppercaseCharacter(text.mid(bounds[index], bounds[index + 1] - bounds[index])))
            return true;
    }
    return false;
}

} // namespace

QSet<QString> extractCandidateTerms(QStringView text) {
    QSet<QString> terms;
    for (const QString &token : ChineseWordTokenizer::wordTokens(text)) {
        if (auto term = normalizedCandidate(token))
            terms.insert(*term);
    }
    return terms;
}

QStringList extractDiscoverableTerms(QStringView text) {
    const QSet<QString> terms = extractCandidateTerms(text);
    QStringList sorted(terms.cbegin(), terms.cend());
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return textkit::localizedStandardCompare(a, b) < 0;
    });
    return sorted;
}

std::optional<QString> normalizedCandidate(QStringView term) {
    auto cleaned = LexiconTermValidator::historyLearnableHotword(term);
    if (!cleaned || isGenericNoun(*cleaned))
        return std::nullopt;
    if (!containsOnlyASCII(*cleaned))
        return cleaned;
    const QString key = PersonalLexiconEntry::normalizedValue(*cleaned);
    if (std::find(englishFillers.begin(), englishFillers.end(), key) != englishFillers.end())
        return std::nullopt;
    return cleaned;
}

bool containsOnlyASCII(QStringView text) {
    return textkit::isAscii(text);
}

QString preferredDisplayValue(const QString &current, const QString &candidate) {
    if (hasUppercaseCharacter(candidate) && !hasUppercaseCharacter(current))
        return candidate;
    return current;
}

bool isGenericNoun(QStringView term) {
    return std::find(genericNouns.begin(), genericNouns.end(), term) != genericNouns.end();
}

HistoryFrequencyLearningResult learn(const QList<HistoryLexiconDiscovery> &discoveries,
                                     const QList<PersonalLexiconEntry> &existingEntries,
                                     const QSet<QString> &ignoredTermKeys,
                                     const QSet<QUuid> &alreadyProcessedRecordIDs, int threshold,
                                     const QDateTime &now) {
    if (threshold < 1)
        return HistoryFrequencyLearningResult{existingEntries, {}, {}};

    QList<PersonalLexiconEntry> entries = existingEntries;
    QStringList learned;
    QList<QUuid> processed;
    QSet<QUuid> seen = alreadyProcessedRecordIDs;

    // The first hot word of each key, by position; entries are only ever
    // appended or changed in place below, so the first match stays first.
    QHash<QString, qsizetype> hotwordByKey;
    const auto index = [&hotwordByKey](const PersonalLexiconEntry &entry, qsizetype position) {
        if (entry.kind == PersonalLexiconEntryKind::hotword)
            hotwordByKey.insert(entry.normalizedTargetKey(), position);
    };
    for (qsizetype position = entries.size() - 1; position >= 0; --position)
        index(entries.at(position), position);

    for (const HistoryLexiconDiscovery &discovery : discoveries) {
        if (seen.contains(discovery.recordID))
            continue;
        seen.insert(discovery.recordID);
        processed.append(discovery.recordID);

        // One sighting per key and record, shown in its best spelling.
        QList<QString> keys;
        QHash<QString, QString> displayByKey;
        for (const QString &term : discovery.terms) {
            const auto cleaned = normalizedCandidate(term);
            if (!cleaned)
                continue;
            const QString key = PersonalLexiconEntry::normalizedValue(*cleaned);
            const auto known = displayByKey.find(key);
            if (known == displayByKey.end()) {
                keys.append(key);
                displayByKey.insert(key, *cleaned);
            } else {
                *known = preferredDisplayValue(*known, *cleaned);
            }
        }

        for (const QString &key : keys) {
            if (ignoredTermKeys.contains(key))
                continue;
            const auto match = hotwordByKey.constFind(key);
            if (match != hotwordByKey.constEnd()) {
                PersonalLexiconEntry &entry = entries[*match];
                entry.hitCount = lexiconlearning::incremented(entry.hitCount);
                entry.updatedAt = now;
                if (entry.learningSource == PersonalLexiconEntrySource::historyFrequency)
                    entry.cloudSyncStatus =
                        entry.hitCount < threshold ? SyncStatus::localOnly : SyncStatus::pending;
                else if (entry.enabled)
                    entry.cloudSyncStatus = SyncStatus::pending;
                continue;
            }
            const QString display = displayByKey.value(key);
            entries.append(PersonalLexiconEntry(
                QUuid::createUuid(), PersonalLexiconEntryKind::hotword,
                PersonalLexiconChannel::boost, PersonalLexiconSharingScope::sharedGlossaryCandidate,
                std::nullopt, textkit::trimmed(display),
                PersonalLexiconEntrySource::historyFrequency, 1, true,
                threshold == 1 ? SyncStatus::pending : SyncStatus::localOnly, now, now,
                std::nullopt));
            index(entries.last(), entries.size() - 1);
            learned.append(display);
        }
    }

    std::stable_sort(learned.begin(), learned.end(), [](const QString &a, const QString &b) {
        return textkit::localizedStandardCompare(a, b) < 0;
    });
    return HistoryFrequencyLearningResult{lexiconlearning::sortedNewestFirst(std::move(entries)),
                                          learned, processed};
}

} // namespace tovalit::HistoryFrequencyLexiconLearner
