#include "models/meeting_title_anchor.h"

#include "models/meeting_characters.h"
#include "models/meeting_stage_continuation_heuristics.h"
#include "support/textkit.h"

#include <algorithm>

namespace tovalit::MeetingTitleAnchor {

namespace {

constexpr qsizetype minimumAnchorLength = 4;

} // namespace

QStringList longestFirst(QStringList tails) {
    std::stable_sort(tails.begin(), tails.end(), [](const QString &a, const QString &b) {
        return textkit::graphemeCount(a) > textkit::graphemeCount(b);
    });
    return tails;
}

QString anchor(const QString &text, const QStringList &connectors, const QStringList &tails) {
    if (text.isEmpty())
        return {};
    for (const QString &connector : connectors) {
        const qsizetype at = text.indexOf(connector);
        if (at < 0)
            continue;
        const QString head = text.first(at);
        if (textkit::graphemeCount(head) >= minimumAnchorLength)
            return head;
    }
    for (const QString &tail : tails) {
        if (!text.endsWith(tail))
            continue;
        const QString stem = text.first(text.size() - tail.size());
        if (textkit::graphemeCount(stem) >= minimumAnchorLength)
            return stem;
    }
    return text;
}

bool sharesStrongStem(const QString &a, const QString &b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (textkit::graphemeCount(a) >= minimumAnchorLength &&
        textkit::graphemeCount(b) >= minimumAnchorLength && (a.contains(b) || b.contains(a))) {
        return true;
    }
    const QString prefix = MeetingStageContinuationHeuristics::commonNormalizedPrefix(a, b);
    return textkit::graphemeCount(prefix) >= minimumAnchorLength;
}

} // namespace tovalit::MeetingTitleAnchor
