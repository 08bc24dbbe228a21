#include "models/meeting_characters.h"
#include "support/textkit.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using meetingtest::u8;

TEST(MeetingCharacters, CutsAsTextkitDoes) {
    const QString texts[] = {
        u"会议纪要：Q3 预算（草案）"_s,
        u"👍🏽好的"_s,
        u"e\u0301 café"_s,
        u"第一行\r\n第二行"_s,
        u"声调\u302A符号"_s,
        u"ｶﾞｷﾞ"_s, // half-width katakana with a voiced mark
        u"🇨🇳中国"_s,
        u""_s,
    };
    for (const QString &text : texts) {
        for (qsizetype limit : {-1, 0, 1, 2, 3}) {
            EXPECT_EQ(u8(MeetingCharacters::truncated(text, limit, u"...")),
                      u8(textkit::truncated(text, limit, u"...")));
            EXPECT_EQ(u8(MeetingCharacters::prefix(text, limit)),
                      u8(textkit::graphemePrefix(text, limit)));
        }
    }
    EXPECT_EQ(u8(MeetingCharacters::trimmed(u"\u3000 标题\n"_s)), "标题");
}

} // namespace
} // namespace tovalit
