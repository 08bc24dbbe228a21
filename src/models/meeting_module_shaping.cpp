#include "models/meeting_module_shaping.h"

#include "models/meeting_characters.h"
#include "models/meeting_node_id.h"
#include "models/meeting_stage_continuation_heuristics.h"
#include "models/meeting_title_anchor.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <algorithm>

namespace tovalit::MeetingModuleShaping {

using namespace Qt::StringLiterals;
namespace Heuristics = MeetingStageContinuationHeuristics;

namespace {

constexpr qsizetype keptFragmentCount = 2;
constexpr qsizetype textBodyLimit = 96;
constexpr qsizetype textModuleLimit = 3;
constexpr qsizetype overflowTitleNameCount = 3;
constexpr qsizetype visualBodyLimit = 28;
constexpr qsizetype visualItemLimit = 6;
constexpr qsizetype visualModuleLimit = 3;
constexpr qsizetype summaryItemNameCount = 2;
constexpr qsizetype shortStageTitleLength = 13;
constexpr double visualTitleMergeSimilarity = 0.78;

constexpr QStringView ellipsis = u"...";

bool isSentenceMark(QStringView character) {
    return character.size() == 1 && QStringView(u"。！？.!?").contains(character.front());
}

// How many left-out points a dropped fragment stands for: the number a
// summary fragment of an earlier condensing names, else one.
qsizetype droppedPointCount(const QString &fragment) {
    static const textkit::Regex summary(u"^另含([0-9]{1,9})点补充$"_s);
    if (const auto match = summary.firstMatch(fragment)) {
        bool ok = false;
        const qsizetype points = match->captured(fragment, 1).toLongLong(&ok);
        if (ok && points > 0)
            return points;
    }
    return 1;
}

// The first `count` titles that are not blank, trimmed.
QStringList firstNonEmptyTitles(const QList<MeetingVisualItem> &items, qsizetype count) {
    QStringList titles;
    for (const MeetingVisualItem &item : items) {
        if (titles.size() == count)
            break;
        QString title = MeetingCharacters::trimmed(item.title);
        if (!title.isEmpty())
            titles.append(std::move(title));
    }
    return titles;
}

bool visualModulesMatch(const MeetingVisualModule &kept, const MeetingVisualModule &incoming) {
    const QString a = Heuristics::normalizedTitle(kept.title);
    const QString b = Heuristics::normalizedTitle(incoming.title);
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    if (kept.kind != incoming.kind)
        return false;
    if (Heuristics::titleSimilarity(a, b) >= visualTitleMergeSimilarity)
        return true;
    return sharesStrongVisualTitleStem(kept.title, incoming.title) &&
           (hasDerivativeVisualTitleCue(kept.title) || hasDerivativeVisualTitleCue(incoming.title));
}

QString titledWhenShort(QStringView stageTitle, const QString &suffix, const QString &otherwise) {
    const QString title = textkit::trimmed(stageTitle);
    if (title.isEmpty())
        return otherwise;
    return textkit::graphemeCount(title) < shortStageTitleLength ? title + suffix : otherwise;
}

} // namespace

// --- Text modules ---------------------------------------------------------------

QStringList narrativeFragments(QStringView text) {
    return MeetingCharacters::trimmedPieces(text, [](QChar unit) {
        return unit == u'\n' || unit == u'。' || unit == u'！' || unit == u'？' || unit == u'；';
    });
}

QStringList dedupedStrings(const QStringList &strings) {
    // A body has a handful of fragments: scanning beats hashing here.
    QStringList result;
    QStringList seen;
    for (const QString &string : strings) {
        QString trimmed = MeetingCharacters::trimmed(string);
        if (trimmed.isEmpty())
            continue;
        QString key = trimmed.toLower();
        if (seen.contains(key))
            continue;
        seen.append(std::move(key));
        result.append(std::move(trimmed));
    }
    return result;
}

QString finalizedTextBody(const QString &text) {
    QString body = MeetingCharacters::trimmed(text);
    if (body.isEmpty())
        return body;
    // One pass over the characters serves both the cap and the last mark.
    const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(body);
    const auto count = static_cast<qsizetype>(boundaries.size()) - 1;
    if (count > textBodyLimit)
        return body.first(boundaries[textBodyLimit]) + ellipsis;
    if (!isSentenceMark(QStringView(body).sliced(boundaries[count - 1])))
        body += u'。';
    return body;
}

QString condensedTextBody(const QString &text) {
    const QString body = MeetingCharacters::trimmed(text);
    if (body.isEmpty())
        return body;
    const QStringList fragments = dedupedStrings(narrativeFragments(body));
    if (fragments.isEmpty())
        return finalizedTextBody(body);
    QStringList kept = fragments.first(std::min(keptFragmentCount, fragments.size()));
    if (fragments.size() > keptFragmentCount) {
        qsizetype dropped = 0;
        for (qsizetype i = keptFragmentCount; i < fragments.size(); ++i)
            dropped += droppedPointCount(fragments[i]);
        kept.append(u"另含"_s + QString::number(dropped) + u"点补充"_s);
    }
    return finalizedTextBody(kept.join(u'；'));
}

QString primaryTextSentence(const QString &text) {
    const QString body = MeetingCharacters::trimmed(text);
    if (body.isEmpty())
        return body;
    const QStringList fragments = dedupedStrings(narrativeFragments(body));
    return finalizedTextBody(fragments.isEmpty() ? body : fragments.first());
}

QString mergedNarrative(const QString &first, const QString &second) {
    const QString a = MeetingCharacters::trimmed(first);
    const QString b = MeetingCharacters::trimmed(second);
    if (a.isEmpty())
        return b;
    if (b.isEmpty())
        return a;
    if (a == b || b.contains(a))
        return b;
    if (a.contains(b))
        return a;
    const QStringList fragments = dedupedStrings(narrativeFragments(a) + narrativeFragments(b));
    if (fragments.isEmpty())
        return a;
    QString merged = fragments.join(u'；');
    if (!merged.endsWith(u'。'))
        merged += u'。';
    return merged;
}

QList<MeetingTextModule> resolvedTextModules(const QList<MeetingTextModule> &modules) {
    QList<MeetingTextModule> result;
    QStringList keys; // lower-cased titles, parallel to result
    for (const MeetingTextModule &module : modules) {
        QString title = MeetingCharacters::trimmed(module.title);
        QString body = condensedTextBody(module.body);
        if (title.isEmpty() || body.isEmpty())
            continue;
        QString key = title.toLower();
        if (const qsizetype kept = keys.indexOf(key); kept >= 0) {
            MeetingTextModule &target = result[kept];
            target.body = condensedTextBody(mergedNarrative(target.body, body));
            continue;
        }
        keys.append(std::move(key));
        result.append({module.id, std::move(title), std::move(body)});
    }
    return result;
}

QString condensedOverflowTextBody(const QString &anchorBody, const QStringList &overflowTitles) {
    QStringList parts;
    if (QString sentence = primaryTextSentence(anchorBody); !sentence.isEmpty())
        parts.append(std::move(sentence));
    if (!overflowTitles.isEmpty()) {
        const QString names =
            overflowTitles.first(std::min(overflowTitleNameCount, overflowTitles.size()))
                .join(u'、');
        if (overflowTitles.size() <= overflowTitleNameCount)
            parts.append(u"另含"_s + names + u"补充"_s);
        else
            parts.append(u"另含"_s + names + u"等"_s + QString::number(overflowTitles.size()) +
                         u"项补充"_s);
    }
    return condensedTextBody(parts.join(u'；'));
}

QList<MeetingTextModule> limitedTextModules(const QList<MeetingTextModule> &modules) {
    if (modules.size() <= textModuleLimit)
        return modules;
    QList<MeetingTextModule> result = modules.first(textModuleLimit - 1);
    const MeetingTextModule &anchor = modules[textModuleLimit - 1];
    QStringList overflowTitles;
    for (qsizetype i = textModuleLimit; i < modules.size(); ++i)
        overflowTitles.append(modules[i].title);
    result.append(
        {anchor.id, anchor.title, condensedOverflowTextBody(anchor.body, overflowTitles)});
    return result;
}

// --- Visual modules -------------------------------------------------------------

QString truncatedVisualBody(const QString &body) {
    return MeetingCharacters::truncated(MeetingCharacters::trimmed(body), visualBodyLimit,
                                        ellipsis);
}

QList<MeetingVisualItem> resolvedVisualItems(const QList<MeetingVisualItem> &items) {
    QList<MeetingVisualItem> result;
    QStringList seen;
    for (const MeetingVisualItem &item : items) {
        QString title = MeetingCharacters::trimmed(item.title);
        if (title.isEmpty())
            continue;
        QString body = truncatedVisualBody(item.body);
        QString key = title.toLower() + u"||"_s + body.toLower();
        if (seen.contains(key))
            continue;
        seen.append(std::move(key));
        result.append({item.id, std::move(title), std::move(body)});
    }
    return result;
}

QList<MeetingVisualItem> limitedVisualItems(const QList<MeetingVisualItem> &items) {
    if (items.size() <= visualItemLimit) {
        QList<MeetingVisualItem> result;
        result.reserve(items.size());
        for (const MeetingVisualItem &item : items)
            result.append({item.id, item.title, truncatedVisualBody(item.body)});
        return result;
    }
    const qsizetype keptCount = visualItemLimit - 1;
    QList<MeetingVisualItem> result = items.first(keptCount);
    const MeetingVisualItem &anchor = items[keptCount];
    const QList<MeetingVisualItem> rest = items.sliced(keptCount + 1);

    QStringList parts;
    if (QString body = truncatedVisualBody(anchor.body); !body.isEmpty())
        parts.append(std::move(body));
    if (const QStringList names = firstNonEmptyTitles(rest, summaryItemNameCount);
        !names.isEmpty()) {
        parts.append(u"另含 "_s + names.join(u" / "_s));
    }
    if (const qsizetype summarised = items.size() - keptCount; summarised >= 4)
        parts.append(u"等"_s + QString::number(summarised) + u"项"_s);
    result.append({newMeetingNodeId(), anchor.title, truncatedVisualBody(parts.join(u'，'))});
    return resolvedVisualItems(result);
}

QString visualTitleAnchor(QStringView title) {
    static const QStringList connectors{u"的"_s, u"与"_s, u"及"_s, u"和"_s, u"并"_s};
    static const QStringList tails = MeetingTitleAnchor::longestFirst({
        u"补充说明"_s,
        u"补充进展"_s,
        u"进展同步"_s,
        u"落地执行补充"_s,
        u"界面规划"_s,
        u"补充"_s,
        u"说明"_s,
        u"进展"_s,
        u"同步"_s,
        u"启动"_s,
        u"延伸"_s,
        u"调整"_s,
        u"规划"_s,
    });
    return MeetingTitleAnchor::anchor(Heuristics::normalizedTitle(title), connectors, tails);
}

int visualTitleLongestCommonSubsequenceLength(const std::vector<QStringView> &a,
                                              const std::vector<QStringView> &b) {
    return Heuristics::longestCommonSubsequenceLength(a, b);
}

bool sharesStrongVisualTitleStem(QStringView a, QStringView b) {
    return MeetingTitleAnchor::sharesStrongStem(visualTitleAnchor(a), visualTitleAnchor(b));
}

bool hasDerivativeVisualTitleCue(QStringView title) {
    static const QStringList cues{u"补充"_s, u"说明"_s, u"进展"_s, u"同步"_s,
                                  u"启动"_s, u"延伸"_s, u"调整"_s};
    const QString normalized = Heuristics::normalizedTitle(title);
    return std::any_of(cues.begin(), cues.end(),
                       [&normalized](const QString &cue) { return normalized.contains(cue); });
}

QList<MeetingVisualModule> dedupedVisualModules(const QList<MeetingVisualModule> &modules) {
    QList<MeetingVisualModule> result;
    for (const MeetingVisualModule &module : modules) {
        MeetingVisualModule shaped{module.id, module.kind, MeetingCharacters::trimmed(module.title),
                                   limitedVisualItems(resolvedVisualItems(module.items))};
        if (shaped.title.isEmpty() || shaped.items.isEmpty())
            continue;
        const auto kept = std::find_if(result.begin(), result.end(),
                                       [&shaped](const MeetingVisualModule &candidate) {
                                           return visualModulesMatch(candidate, shaped);
                                       });
        if (kept == result.end()) {
            result.append(std::move(shaped));
            continue;
        }
        kept->kind = shaped.kind;
        kept->items = limitedVisualItems(resolvedVisualItems(kept->items + shaped.items));
    }
    return result;
}

QString overflowVisualModuleTitle(QStringView stageTitle) {
    return titledWhenShort(stageTitle, u"补充脉络"_s, u"补充脉络"_s);
}

QString fallbackVisualModuleTitle(QStringView stageTitle) {
    return titledWhenShort(stageTitle, u"结构脉络"_s, u"核心脉络"_s);
}

QList<MeetingVisualItem> aggregatedVisualItems(const QList<MeetingVisualModule> &modules) {
    QList<MeetingVisualItem> items;
    for (const MeetingVisualModule &module : modules) {
        // An earlier summary board is not summarised into the next one.
        if (Heuristics::normalizedTitle(module.title).contains(u"补充脉络"_s))
            continue;
        const QStringList names = firstNonEmptyTitles(module.items, summaryItemNameCount);
        items.append({newMeetingNodeId(), module.title, truncatedVisualBody(names.join(u" / "_s))});
    }
    return limitedVisualItems(resolvedVisualItems(items));
}

QList<MeetingVisualModule> limitedVisualModules(const QList<MeetingVisualModule> &modules,
                                                QStringView stageTitle) {
    if (modules.size() <= visualModuleLimit)
        return modules;
    QList<MeetingVisualModule> result = modules.first(visualModuleLimit - 1);
    result.append({newMeetingNodeId(), MeetingVisualModuleKind::cards,
                   overflowVisualModuleTitle(stageTitle),
                   aggregatedVisualItems(modules.sliced(visualModuleLimit - 1))});
    return result;
}

QList<MeetingVisualModule> ensuredVisualModules(const QList<MeetingVisualModule> &modules,
                                                QStringView stageTitle,
                                                const QList<MeetingTextModule> &textModules) {
    QList<MeetingVisualModule> result =
        limitedVisualModules(dedupedVisualModules(modules), stageTitle);
    if (!result.isEmpty() || textModules.isEmpty())
        return result;
    QList<MeetingVisualItem> items;
    for (const MeetingTextModule &module :
         textModules.first(std::min(textModuleLimit, textModules.size())))
        items.append({newMeetingNodeId(), module.title, module.body});
    return {{newMeetingNodeId(), MeetingVisualModuleKind::cards,
             fallbackVisualModuleTitle(stageTitle), limitedVisualItems(items)}};
}

} // namespace tovalit::MeetingModuleShaping
