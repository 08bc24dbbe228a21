#include "models/meeting_stage_continuation_heuristics.h"

#include "models/meeting_characters.h"
#include "models/meeting_title_anchor.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <QStringList>

#include <algorithm>

namespace tovalit::MeetingStageContinuationHeuristics {

using namespace Qt::StringLiterals;

namespace {

QString withoutSeparators(QStringView title, const textkit::Regex &separators) {
    return separators.replaceAllLiteral(textkit::trimmed(title).toLower(), {});
}

// Like the normalised title, but keeping the enumeration comma, which is a
// connector for the topic anchor.
QString topicText(QStringView title) {
    static const textkit::Regex separators(u"[[:space:]，,。；;：:\\-—_/()（）\\[\\]【】]+"_s);
    return withoutSeparators(title, separators);
}

bool containsAny(QStringView text, const QStringList &cues) {
    return std::any_of(cues.begin(), cues.end(),
                       [text](const QString &cue) { return text.contains(cue); });
}

} // namespace

QString normalizedTitle(QStringView title) {
    static const textkit::Regex separators(u"[[:space:]，,。；;：:、\\-—_/()（）\\[\\]【】]+"_s);
    return withoutSeparators(title, separators);
}

QString topicAnchor(QStringView title) {
    static const QStringList connectors{u"的"_s, u"与"_s, u"及"_s, u"和"_s, u"并"_s, u"、"_s};
    static const QStringList tails = MeetingTitleAnchor::longestFirst({
        u"时间节点细化"_s, u"执行优化"_s,     u"落地约束"_s, u"增长瓶颈"_s, u"落地推进安排"_s,
        u"运营落地约束"_s, u"衍生增值方向"_s, u"平台定位"_s, u"规划"_s,     u"计划"_s,
        u"策略"_s,         u"方向"_s,         u"约束"_s,     u"风险"_s,     u"路径"_s,
        u"问题"_s,         u"现状"_s,         u"逻辑"_s,     u"进展"_s,     u"细节"_s,
        u"细化"_s,         u"补充"_s,         u"拆解"_s,     u"判断"_s,     u"流程"_s,
        u"任务"_s,         u"方案"_s,         u"阶段"_s,     u"反馈"_s,     u"节点"_s,
        u"目标"_s,         u"定位"_s,         u"动作"_s,     u"梳理"_s,     u"汇报"_s,
    });
    return MeetingTitleAnchor::anchor(topicText(title), connectors, tails);
}

QString commonNormalizedPrefix(QStringView a, QStringView b) {
    const auto left = characterArray(a);
    const auto right = characterArray(b);
    const auto leftEnd = std::mismatch(left.begin(), left.end(), right.begin(), right.end()).first;
    if (leftEnd == left.begin())
        return {};
    const QStringView last = *(leftEnd - 1);
    return a.first(last.data() + last.size() - a.data()).toString();
}

std::vector<QStringView> characterArray(QStringView text) {
    const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(text);
    std::vector<QStringView> characters;
    characters.reserve(boundaries.size() - 1);
    for (size_t i = 1; i < boundaries.size(); ++i)
        characters.push_back(text.sliced(boundaries[i - 1], boundaries[i] - boundaries[i - 1]));
    return characters;
}

int longestCommonSubsequenceLength(const std::vector<QStringView> &a,
                                   const std::vector<QStringView> &b) {
    if (a.empty() || b.empty())
        return 0;
    std::vector<int> previous(b.size() + 1, 0);
    std::vector<int> current(b.size() + 1, 0);
    for (const QStringView &left : a) {
        for (size_t j = 1; j <= b.size(); ++j) {
            current[j] =
                left == b[j - 1] ? previous[j - 1] + 1 : std::max(previous[j], current[j - 1]);
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

double titleSimilarity(QStringView a, QStringView b) {
    const auto left = characterArray(a);
    const auto right = characterArray(b);
    if (left.empty() || right.empty())
        return 0.0;
    return static_cast<double>(longestCommonSubsequenceLength(left, right)) /
           static_cast<double>(std::max(left.size(), right.size()));
}

bool sharesStrongTopicStem(QStringView a, QStringView b) {
    return MeetingTitleAnchor::sharesStrongStem(topicAnchor(a), topicAnchor(b));
}

bool hasDerivativeContinuationCue(QStringView title) {
    static const QStringList cues{
        u"补充"_s, u"说明"_s, u"进展"_s, u"推进"_s, u"同步"_s,     u"延伸"_s,
        u"启动"_s, u"调整"_s, u"试点"_s, u"跟进"_s, u"补充说明"_s, u"补充进展"_s,
    };
    return containsAny(normalizedTitle(title), cues);
}

bool hasStrongAgendaShiftCue(QStringView currentWindow) {
    static const QStringList phrases{
        u"下一个吧"_s, u"然后就是"_s,   u"接下来说"_s,     u"再说一下"_s,   u"再看一下"_s,
        u"看下一个"_s, u"另外一件事"_s, u"另一个事情"_s,   u"先跳到"_s,     u"转到"_s,
        u"切到"_s,     u"回到"_s,       u"要不要看一下"_s, u"简单聊一下"_s,
    };
    QString window = textkit::trimmed(currentWindow).toLower();
    window.remove(u'\n');
    if (window.isEmpty())
        return false;
    return containsAny(MeetingCharacters::prefix(window, 80), phrases);
}

bool shouldPreferCurrentStageTitle(QStringView candidateTitle, QStringView currentStageTitle,
                                   int currentStageTextModuleCount, QStringView currentWindow,
                                   bool mustDecide) {
    Q_UNUSED(mustDecide);
    const QString candidate = normalizedTitle(candidateTitle);
    const QString current = normalizedTitle(currentStageTitle);
    if (candidate.isEmpty() || current.isEmpty() || candidate == current)
        return false;

    int score = 0;
    const qsizetype shorter =
        std::min(textkit::graphemeCount(candidate), textkit::graphemeCount(current));
    if (shorter >= 3 && (candidate.contains(current) || current.contains(candidate)))
        score = 4;
    if (sharesStrongTopicStem(candidateTitle, currentStageTitle))
        score += 3;
    const double similarity = titleSimilarity(candidate, current);
    if (similarity >= 0.72)
        score += 2;
    else if (similarity >= 0.58)
        score += 1;
    if (hasDerivativeContinuationCue(candidateTitle))
        score += 2;
    if (currentStageTextModuleCount <= 2)
        score += 1;
    if (hasStrongAgendaShiftCue(currentWindow))
        score -= 2;
    return score >= 2;
}

} // namespace tovalit::MeetingStageContinuationHeuristics
