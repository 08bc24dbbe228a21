#include "services/meeting/meeting_visual_kind_rules.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;
using Kind = MeetingVisualModuleKind;
namespace R = MeetingVisualKindRules;

QList<MeetingVisualItem> bare(const QStringList &titles) {
    QList<MeetingVisualItem> items;
    for (const QString &title : titles)
        items.append(item(title));
    return items;
}

TEST(MeetingVisualKindInference, CueGroupsInOrderThenTheShapeOfTheItems) {
    const struct {
        QString title;
        QList<MeetingVisualItem> items;
        Kind kind;
        const char *why;
    } cases[] = {
        {u"推进节奏"_s, bare({u"甲"_s}), Kind::process, "process cue"},
        {u"系统架构"_s, bare({u"甲"_s}), Kind::hierarchy, "hierarchy cue"},
        {u"架构推进"_s, bare({u"甲"_s}), Kind::process, "process is tested before hierarchy"},
        {u"发展"_s, bare({u"历史版本"_s}), Kind::history, "item titles count"},
        {u"方案"_s, {item(u"甲"_s, u"已有结论"_s)}, Kind::cards, "bodies are not read"},
        {u"方案对比"_s, bare({u"甲"_s, u"乙"_s}), Kind::beforeAfter, "comparison of two"},
        {u"方案对比"_s, bare({u"甲"_s, u"乙"_s, u"丙"_s}), Kind::chips, "comparison needs two"},
        {u"Before And After"_s, bare({u"a"_s, u"b"_s}), Kind::beforeAfter, "lower-cased"},
        {u"要点"_s, bare({u"一"_s, u"二"_s, u"三"_s, u"四"_s, u"五"_s}), Kind::chips, "short tags"},
        {u"要点"_s, bare({u"一"_s, u"字"_s.repeated(19)}), Kind::cards, "a 19-character title"},
        {u"要点"_s, bare({u"一"_s, u"字"_s.repeated(18)}), Kind::chips, "18 characters"},
        {u"要点"_s, bare({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}), Kind::cards,
         "seven items"},
        {u"要点"_s, {item(u"一"_s, u"说明"_s)}, Kind::cards, "an item with a body"},
        {u"要点"_s, {}, Kind::chips, "no items"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(R::inferMeetingVisualModuleKind(c.title, c.items), c.kind) << c.why;
}

TEST(MeetingVisualKindNormalisation, ContentOverridesTheNamedKind) {
    const struct {
        Kind preferred;
        Kind inferred;
        QString title;
        QList<MeetingVisualItem> items;
        Kind kind;
        const char *why;
    } cases[] = {
        {Kind::process, Kind::chips, u"推进"_s, bare({u"旧方案"_s, u"新方案"_s}), Kind::beforeAfter,
         "two items with a comparison cue"},
        {Kind::history,
         Kind::cards,
         u"历史时间带"_s,
         {item(u"甲"_s), item(u"乙"_s, u"有交付风险"_s), item(u"丙"_s)},
         Kind::decision,
         "a risk cue in a body, three items"},
        {Kind::history,
         Kind::cards,
         u"历史时间带"_s,
         {item(u"甲"_s), item(u"乙"_s, u"有交付风险"_s), item(u"丙"_s), item(u"丁"_s)},
         Kind::cards,
         "a risk cue, four items"},
        {Kind::process, Kind::chips, u"上线安排"_s, bare({u"甲"_s, u"乙"_s, u"丙"_s}), Kind::chips,
         "a process of bare items reads as tags"},
        {Kind::process,
         Kind::cards,
         u"平台能力"_s,
         {item(u"甲"_s, u"说明"_s), item(u"乙"_s, u"说明"_s), item(u"丙"_s)},
         Kind::cards,
         "cards cue without a process cue"},
        {Kind::process, Kind::chips, u"平台能力"_s, bare({u"甲"_s, u"乙"_s, u"丙"_s}), Kind::chips,
         "cards cue, no bodies"},
        {Kind::process,
         Kind::process,
         u"执行步骤"_s,
         {item(u"甲"_s, u"先做"_s), item(u"乙"_s, u"后做"_s), item(u"丙"_s)},
         Kind::process,
         "a real sequence"},
        {Kind::process, Kind::chips, u"安排"_s,
         bare({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s}), Kind::process,
         "more than six bare items stay a process"},
        {Kind::cards, Kind::beforeAfter, u"结构线索"_s, bare({u"甲"_s, u"乙"_s}), Kind::beforeAfter,
         "cards yield to an inferred comparison"},
        {Kind::cards,
         Kind::hierarchy,
         u"结构线索"_s,
         {item(u"甲"_s, u"乙"_s), item(u"丙"_s)},
         Kind::cards,
         "cards stay cards otherwise"},
        {Kind::annotation, Kind::chips, u"原话"_s, bare({u"甲"_s}), Kind::annotation,
         "other kinds are kept"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(R::normalizedMeetingVisualModuleKind(c.preferred, c.inferred, c.title, c.items),
                  c.kind)
            << c.why;
    }
}

} // namespace
} // namespace tovalit
