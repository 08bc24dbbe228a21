#include "services/text_processing/transcript_cleanup_service.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;

struct CleanupCase {
    const char *name;
    QString input;
    QString expected;
};

void PrintTo(const CleanupCase &value, std::ostream *out) {
    *out << value.name;
}

class TranscriptCleanupTest : public ::testing::TestWithParam<CleanupCase> {};

TEST_P(TranscriptCleanupTest, Cleans) {
    const CleanupCase &example = GetParam();
    EXPECT_EQ(TranscriptCleanupService().clean(example.input), example.expected)
        << example.name << ": " << example.input.toStdString();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rules, TranscriptCleanupTest, ::testing::Values(
    CleanupCase{"empty", u""_s, u""_s},
    CleanupCase{"only white space", u" \n\t "_s, u""_s},
    CleanupCase{"lone filler leaves nothing, and no ending", u" 嗯 "_s, u""_s},
    CleanupCase{"repeated filler syllable", u"嗯嗯嗯"_s, u""_s},
    CleanupCase{"filler before a comma goes, the comma stays", u"嗯，我们开始吧"_s, u"，我们开始吧。"_s},
    CleanupCase{"filler between commas collapses them", u"我们，嗯，开始吧"_s, u"我们，开始吧。"_s},
    CleanupCase{"filler inside a word stays", u"好啊"_s, u"好啊。"_s},
    CleanupCase{"fillers after half-width marks and spaces", u"对. 呃 好的"_s, u"对. 好的。"_s},
    CleanupCase{"punctuation run collapses to its first mark", u"真的吗?!"_s, u"真的吗？"_s},
    CleanupCase{"spaces between ideographs go", u"今天 天气 不错"_s, u"今天天气不错。"_s},
    CleanupCase{"Latin text gets a full stop", u"hello world"_s, u"hello world."_s},
    CleanupCase{"space between Latin and ideograph stays", u"OK 我知道了"_s, u"OK 我知道了。"_s},
    CleanupCase{"trailing full-width comma is no ending", u"我们明天见，"_s, u"我们明天见，."_s},
    CleanupCase{"Latin majority keeps half-width commas", u"Hello, 世界"_s, u"Hello, 世界。"_s},
    CleanupCase{"several lines become one", u"第一行\n第二行"_s, u"第一行第二行。"_s},
    CleanupCase{"lines of mostly Latin text keep their spaces", u"第一行\n第二行\r\nthird line"_s, u"第一行 第二行 third line."_s},
    CleanupCase{"existing ending is kept", u"你好。"_s, u"你好。"_s},
    CleanupCase{"half-width full stop is kept and not widened", u"你好."_s, u"你好."_s},
    CleanupCase{"half-width marks become full width", u"好,走吧!"_s, u"好，走吧！"_s},
    CleanupCase{"ideographic space is white space", u"\u3000今天\u3000天气\u3000"_s, u"今天天气。"_s},
    CleanupCase{"ideographic space around a filler", u"\u3000嗯\u3000"_s, u""_s},
    CleanupCase{"full-width digits are neither ideographs nor letters", u"价格是１２３"_s, u"价格是１２３."_s},
    CleanupCase{"no letters at all counts as Chinese", u"123,456"_s, u"123，456."_s},
    CleanupCase{"combining marks count as letters", u"ae\u0301, 你好"_s, u"ae\u0301, 你好。"_s},
    CleanupCase{"last character with a mark is not an ideograph", u"cafe\u0301"_s, u"cafe\u0301."_s},
    CleanupCase{"extension-A ideograph is not in the counted range", u"㐀㐁 好"_s, u"㐀㐁 好。"_s},
    CleanupCase{"emoji ending", u"好的👍"_s, u"好的👍."_s}
));
// clang-format on

} // namespace
} // namespace tovalit
