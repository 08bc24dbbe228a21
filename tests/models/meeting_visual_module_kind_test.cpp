#include "models/meeting_visual_module_kind.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using Kind = MeetingVisualModuleKind;

TEST(MeetingVisualModuleKind, RawValuesRoundTripAndNothingElseIsARawValue) {
    for (Kind kind : allMeetingVisualModuleKinds)
        EXPECT_EQ(meetingVisualModuleKindFromRawValue(rawValue(kind)), kind);
    EXPECT_EQ(rawValue(Kind::beforeAfter), u"前后对比"_s);
    for (const QString &text : {u"流程"_s, u" 流程板"_s, u"process"_s, u""_s})
        EXPECT_FALSE(meetingVisualModuleKindFromRawValue(text)) << text.toStdString();
}

TEST(MeetingVisualModuleKind, NamesAreLookedUpWholeAfterTrimmingAndLowerCasing) {
    const struct {
        QString name;
        std::optional<Kind> kind;
    } cases[] = {
        {u"  Process \n"_s, Kind::process},
        {u"流程板模块"_s, Kind::process},
        {u"BeforeAfter"_s, Kind::beforeAfter},
        {u"before/after"_s, Kind::beforeAfter},
        {u"证据注释条模块"_s, Kind::annotation},
        {u"架构层级"_s, Kind::hierarchy},
        {u"\u3000时间带\u3000"_s, Kind::history},
        {u"CARD"_s, Kind::cards},
        {u"before after"_s, std::nullopt},
        {u"流程板 模块"_s, std::nullopt},
        {u"多卡"_s, std::nullopt},
        {u""_s, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(meetingVisualModuleKindFrom(c.name), c.kind) << c.name.toStdString();
}

} // namespace
} // namespace tovalit
