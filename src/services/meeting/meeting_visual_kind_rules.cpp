#include "services/meeting/meeting_visual_kind_rules.h"

#include "models/meeting_characters.h"
#include "support/textkit.h"

#include <QStringList>

#include <algorithm>

namespace tovalit::MeetingVisualKindRules {

using namespace Qt::StringLiterals;
using Kind = MeetingVisualModuleKind;

namespace {

struct CueGroup {
    Kind kind;
    QStringList cues;
    bool onlyForPairs;
};

bool containsAny(const QString &text, const QStringList &cues) {
    return std::any_of(cues.begin(), cues.end(),
                       [&text](const QString &cue) { return text.contains(cue); });
}

bool anyItemHasBody(const QList<MeetingVisualItem> &items) {
    return std::any_of(items.begin(), items.end(),
                       [](const MeetingVisualItem &item) { return !item.body.isEmpty(); });
}

} // namespace

MeetingVisualModuleKind inferMeetingVisualModuleKind(QStringView title,
                                                     const QList<MeetingVisualItem> &items) {
    static const std::vector<CueGroup> groups{
        {Kind::process,
         {u"流程"_s, u"路径"_s, u"步骤"_s, u"推进"_s, u"阶段"_s, u"转变"_s, u"演进"_s, u"闭环"_s,
          u"链路"_s, u"收束"_s},
         false},
        {Kind::hierarchy,
         {u"层级"_s, u"架构"_s, u"分层"_s, u"组成"_s, u"结构"_s, u"驱动"_s},
         false},
        {Kind::history, {u"历史"_s, u"演化"_s, u"里程碑"_s, u"时间带"_s}, false},
        {Kind::decision, {u"决策"_s, u"待决"_s, u"判断"_s, u"结论"_s}, false},
        {Kind::annotation, {u"证据"_s, u"原话"_s, u"引注"_s, u"注释"_s}, false},
        {Kind::beforeAfter, {u"对比"_s, u"前后"_s, u"before"_s, u"after"_s, u"变化"_s}, true},
    };

    QStringList itemTitles;
    itemTitles.reserve(items.size());
    for (const MeetingVisualItem &item : items)
        itemTitles.append(item.title);
    const QString text = (title.toString() + u' ' + itemTitles.join(u' ')).toLower();

    for (const CueGroup &group : groups) {
        if (group.onlyForPairs && items.size() != 2)
            continue;
        if (containsAny(text, group.cues))
            return group.kind;
    }
    if (items.size() >= 7 || anyItemHasBody(items))
        return Kind::cards;
    // Few short bare titles read as tags; a long one needs a card.
    const bool allShort =
        std::all_of(items.begin(), items.end(), [](const MeetingVisualItem &item) {
            return textkit::graphemeCount(item.title) < 19;
        });
    return allShort ? Kind::chips : Kind::cards;
}

MeetingVisualModuleKind normalizedMeetingVisualModuleKind(MeetingVisualModuleKind preferred,
                                                          MeetingVisualModuleKind inferred,
                                                          QStringView title,
                                                          const QList<MeetingVisualItem> &items) {
    static const QStringList comparisonCues{u"对比"_s, u"前后"_s, u"演化"_s, u"变化"_s, u"早期"_s,
                                            u"当前"_s, u"旧"_s,   u"新"_s,   u"升级"_s, u"降级"_s};
    static const QStringList riskCues{u"风险"_s, u"规避"_s, u"边界"_s, u"排除"_s, u"取舍"_s,
                                      u"判断"_s, u"结论"_s, u"约束"_s, u"待决"_s, u"优先级"_s};
    static const QStringList processCues{u"流程"_s, u"步骤"_s, u"顺序"_s, u"闭环"_s,
                                         u"演进"_s, u"转变"_s, u"推进"_s, u"执行"_s};
    static const QStringList cardsCues{u"平台"_s, u"场景"_s, u"人群"_s, u"角色"_s,
                                       u"分层"_s, u"分类"_s, u"依据"_s, u"逻辑"_s,
                                       u"要点"_s, u"能力"_s, u"模块"_s, u"渠道"_s};

    QStringList written;
    written.reserve(items.size());
    for (const MeetingVisualItem &item : items)
        written.append(item.body.isEmpty() ? item.title : item.title + u"："_s + item.body);
    const QString text = (title.toString() + u' ' + written.join(u' ')).toLower();
    const bool hasBody = anyItemHasBody(items);

    if (items.size() == 2 && containsAny(text, comparisonCues))
        return Kind::beforeAfter;
    if (containsAny(text, riskCues))
        return items.size() > 3 ? Kind::cards : Kind::decision;
    if (preferred == Kind::process) {
        if (!containsAny(text, processCues) && containsAny(text, cardsCues))
            return hasBody ? Kind::cards : Kind::chips;
        if (items.size() <= 6 && !hasBody)
            return Kind::chips;
        return Kind::process;
    }
    if (preferred != Kind::cards)
        return preferred;
    return inferred == Kind::beforeAfter ? Kind::beforeAfter : Kind::cards;
}

} // namespace tovalit::MeetingVisualKindRules
