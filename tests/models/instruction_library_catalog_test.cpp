#include "models/instruction_library_catalog.h"
#include "support/textkit.h"
#include "support/uuid_text.h"
#include "tests/models/instruction_test_entries.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using testing::instruction;
using Category = InstructionLibraryCategory;

struct Expected {
    QString id;
    QString title;
    QString summary;
    QStringList phrases;
    QString hint;
    Category category;
    qint64 maxTokens;
    QString assistantName;
    int requirementCount;
};

// The pack as users have it stored; any change here changes their files.
const std::vector<Expected> &expectedPack() {
    static const std::vector<Expected> pack{
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D01"_s,
         u"写日报"_s,
         u"把口述内容整理成一份清晰的中文日报。"_s,
         {u"写日报"_s, u"帮我写日报"_s},
         u"写日报 + 今天做了什么"_s,
         Category::writing,
         900,
         u"日报助手"_s,
         5},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D02"_s,
         u"写周报"_s,
         u"把零散口述整理成结构化周报。"_s,
         {u"写周报"_s, u"帮我写周报"_s},
         u"写周报 + 本周完成了什么"_s,
         Category::writing,
         1100,
         u"周报助手"_s,
         4},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D03"_s,
         u"写会议跟进"_s,
         u"把会议后的口述整理成 follow-up 文本。"_s,
         {u"写会议跟进"_s, u"整理会议跟进"_s, u"写会议后续"_s},
         u"写会议跟进 + 刚刚会议聊了什么"_s,
         Category::writing,
         900,
         u"会议跟进助手"_s,
         4},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D04"_s,
         u"写文档"_s,
         u"把口述思路整理成一版文档草稿。"_s,
         {u"写文档"_s, u"帮我写文档"_s, u"生成文档草稿"_s},
         u"写文档 + 我想表达什么"_s,
         Category::writing,
         1200,
         u"文档助手"_s,
         4},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D05"_s,
         u"写提示词"_s,
         u"把需求或策略整理成可直接使用的 Prompt。"_s,
         {u"写提示词"_s, u"帮我写提示词"_s, u"生成提示词"_s},
         u"写提示词 + 我要让 AI 做什么"_s,
         Category::prompt,
         1200,
         u"Prompt 助手"_s,
         4},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D06"_s,
         u"提炼要点"_s,
         u"把一段口述压缩成要点清单。"_s,
         {u"提炼要点"_s, u"帮我提炼要点"_s, u"总结要点"_s},
         u"提炼要点 + 这一段内容"_s,
         Category::planning,
         700,
         u"要点提炼助手"_s,
         3},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D07"_s,
         u"润色表达"_s,
         u"保留原意，把表达改得更顺更专业。"_s,
         {u"润色一下"_s, u"帮我润色"_s, u"改写一下"_s},
         u"润色一下 + 原句"_s,
         Category::rewrite,
         700,
         u"润色助手"_s,
         3},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D08"_s,
         u"翻译成英文"_s,
         u"把口述内容翻成自然英文。"_s,
         {u"翻译成英文"_s, u"翻译成英语"_s, u"帮我翻译成英文"_s, u"帮我翻译成英语"_s, u"译成英文"_s,
          u"译成英语"_s},
         u"翻译成英文 + 中文内容"_s,
         Category::rewrite,
         800,
         u"英文翻译助手"_s,
         5},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D14"_s,
         u"翻译成日语"_s,
         u"把口述内容翻成自然日语。"_s,
         {u"翻译成日语"_s, u"翻译成日文"_s, u"帮我翻译成日语"_s, u"帮我翻译成日文"_s, u"译成日语"_s,
          u"译成日文"_s},
         u"翻译成日语 + 中文内容"_s,
         Category::rewrite,
         800,
         u"日语翻译助手"_s,
         5},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D09"_s,
         u"写行动清单"_s,
         u"从口述里提取出下一步行动项。"_s,
         {u"写行动清单"_s, u"提取待办"_s, u"整理行动项"_s},
         u"写行动清单 + 这段安排"_s,
         Category::planning,
         700,
         u"行动清单助手"_s,
         3},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D10"_s,
         u"写复盘"_s,
         u"把经历或过程整理成一版复盘总结。"_s,
         {u"写复盘"_s, u"复盘总结"_s, u"帮我写复盘"_s},
         u"写复盘 + 这次事情经过"_s,
         Category::writing,
         1000,
         u"复盘助手"_s,
         4},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D11"_s,
         u"Cursor指令化"_s,
         u"把口述整理成可直接粘贴到 Cursor 的工程指令。"_s,
         {u"Cursor指令化"_s, u"给Cursor下指令"_s, u"整理成Cursor指令"_s},
         u"Cursor指令化 + 你的口述需求"_s,
         Category::prompt,
         1000,
         u"Cursor 指令助手"_s,
         5},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D12"_s,
         u"高保真整理"_s,
         u"尽量按原意整理，重点去噪而不是改写。"_s,
         {u"高保真整理"_s, u"按原意整理"_s, u"保真整理"_s},
         u"高保真整理 + 原始口述"_s,
         Category::rewrite,
         900,
         u"高保真整理助手"_s,
         4},
        {u"901B3775-8DBD-4EBA-B779-CC5568B03D13"_s,
         u"自然转消息"_s,
         u"把口述转成可直接发送的自然消息。"_s,
         {u"自然转消息"_s, u"整理成消息"_s, u"发出去版本"_s},
         u"自然转消息 + 口述内容"_s,
         Category::writing,
         800,
         u"消息整理助手"_s,
         4},
    };
    return pack;
}

const InstructionLibraryEntry &builtinTitled(const QString &title) {
    for (const InstructionLibraryEntry &entry : InstructionLibraryCatalog::builtinEntries()) {
        if (entry.title == title)
            return entry;
    }
    throw std::logic_error("no such built-in");
}

TEST(InstructionLibraryCatalogTest, ThePackHoldsTheFourteenBuiltinsInOrder) {
    const InstructionLibraryBuiltinTemplatePack &pack =
        InstructionLibraryCatalog::defaultBuiltinTemplatePack();
    EXPECT_EQ(pack.version, 3);
    EXPECT_EQ(&InstructionLibraryCatalog::builtinEntries(), &pack.entries) << "built once, shared";
    ASSERT_EQ(pack.entries.size(), qsizetype(expectedPack().size()));

    for (size_t i = 0; i < expectedPack().size(); ++i) {
        const Expected &expected = expectedPack()[i];
        const InstructionLibraryEntry &entry = pack.entries[qsizetype(i)];
        SCOPED_TRACE(expected.title.toStdString());
        EXPECT_EQ(uuidtext::upper(entry.id()), expected.id);
        EXPECT_EQ(entry.title, expected.title);
        EXPECT_EQ(entry.summary, expected.summary);
        EXPECT_EQ(entry.invocationPhrases, expected.phrases);
        EXPECT_EQ(entry.invocationHint, expected.hint);
        EXPECT_EQ(entry.category, expected.category);
        EXPECT_EQ(entry.maxTokens, expected.maxTokens);
        EXPECT_EQ(entry.source, InstructionLibraryEntrySource::builtin);
        EXPECT_TRUE(entry.enabled);
        EXPECT_EQ(entry.createdAt, InstructionLibraryCatalog::distantPast());
        EXPECT_EQ(entry.updatedAt, InstructionLibraryCatalog::distantPast());

        // The prompt's frame: "你是 Tovalit 的<name>。", blank, task, blank,
        // "要求：", then the requirements numbered from 1.
        const QStringList lines = entry.promptTemplate.split(u'\n');
        ASSERT_EQ(lines.size(), 5 + expected.requirementCount);
        EXPECT_EQ(lines[0], u"你是 Tovalit 的"_s + expected.assistantName + u"。"_s);
        EXPECT_TRUE(lines[1].isEmpty());
        EXPECT_TRUE(lines[2].startsWith(u"请"_s)) << lines[2].toStdString();
        EXPECT_TRUE(lines[3].isEmpty());
        EXPECT_EQ(lines[4], u"要求："_s);
        for (int n = 1; n <= expected.requirementCount; ++n) {
            EXPECT_TRUE(lines[4 + n].startsWith(QString::number(n) + u". "_s));
            EXPECT_TRUE(lines[4 + n].endsWith(u"。"_s)) << lines[4 + n].toStdString();
        }
    }
    EXPECT_LT(InstructionLibraryCatalog::distantPast(), QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
}

TEST(InstructionLibraryCatalogTest, PromptsAreWordForWord) {
    EXPECT_EQ(builtinTitled(u"提炼要点"_s).promptTemplate,
              u"你是 Tovalit 的要点提炼助手。\n"
              "\n"
              "请把用户内容整理成 3 到 7 条高密度要点。\n"
              "\n"
              "要求：\n"
              "1. 只输出最终要点，不要解释。\n"
              "2. 每条尽量短而完整，能保留限制条件、数字和结论边界就保留。\n"
              "3. 不要凭空补结论，只提炼原文已有信息。"_s);
    EXPECT_EQ(builtinTitled(u"翻译成英文"_s).promptTemplate,
              u"你是 Tovalit 的英文翻译助手。\n"
              "\n"
              "请把用户提供的内容翻译成自然、准确、可直接使用的英文。\n"
              "\n"
              "要求：\n"
              "1. 只输出英文结果，不要解释，不要双语对照。\n"
              "2. 忠实保留原意、语气、限制条件和信息密度；不要漏信息，也不要擅自扩写。\n"
              "3. 默认输出现代、自然、可直接使用的英文；如果原文明显是聊天、邮件、文档或工程说明，"
              "请自动匹配相应语气和正式度。\n"
              "4. 专有名词、产品名、API、函数名、路径、参数、报错和品牌名优先保留原文或采用行业常用"
              "写法，不要乱翻。\n"
              "5. 如果原文本身是列表、标题或命令格式，保留相同的信息结构；如果原文是自然句子，就优"
              "先译成自然句子。"_s);
    const QStringList japanese = builtinTitled(u"翻译成日语"_s).promptTemplate.split(u'\n');
    EXPECT_EQ(japanese[2], u"请把用户提供的内容翻译成自然、准确、可直接使用的日语。"_s);
    EXPECT_EQ(japanese[5], u"1. 只输出日语结果，不要解释，不要双语对照。"_s);
    EXPECT_EQ(japanese[7], u"3. 默认输出自然、现代、可直接使用的日语；根据原文场景自动决定更口语、"
                           "敬体还是更书面，但不要过度敬语化。"_s);
    EXPECT_EQ(
        builtinTitled(u"Cursor指令化"_s).promptTemplate,
        u"你是 Tovalit 的Cursor 指令助手。\n"
        "\n"
        "请把用户口述整理成一段可直接粘贴到 Cursor 的工程化指令文本。\n"
        "\n"
        "要求：\n"
        "1. 只输出最终文本，不要解释，不要代码块包裹。\n"
        "2. 忠实原意，最小改写；把目标、范围、限制、验收和真实风险自然揉进去，像工程师本人会写"
        "的任务描述。\n"
        "3. 保留文件路径、代码符号、命令、错误信息、分支名、模型名和约束条件，不得编造不存在的"
        "文件、函数或结果。\n"
        "4. 简单需求优先自然段；内容天然复杂时，可以自发分段或少量分点，但不要机械改成 Todo 模"
        "板。\n"
        "5. 如信息确实不足，只对关键缺口写“待确认：…”，不要为了补全而瞎猜。"_s);
    EXPECT_EQ(builtinTitled(u"写会议跟进"_s).promptTemplate.split(u'\n')[7],
              u"3. 如果原文没有明确负责人、时间或结论，就保持留白或写“待确认”，不要编造。"_s);
}

TEST(InstructionLibraryCatalogTest, NoBuiltinPhraseSharesOrStartsAnother) {
    QString longest;
    const QList<InstructionLibraryEntry> &entries = InstructionLibraryCatalog::builtinEntries();
    for (const InstructionLibraryEntry &entry : entries) {
        for (const QString &phrase : entry.invocationPhrases) {
            if (textkit::graphemeCount(phrase) > textkit::graphemeCount(longest))
                longest = phrase;
            const QString key = InstructionLibraryEntry::normalizedValue(phrase);
            for (const InstructionLibraryEntry &other : entries) {
                for (const QString &otherPhrase : other.invocationPhrases) {
                    if (&other == &entry && otherPhrase == phrase)
                        continue;
                    EXPECT_FALSE(
                        InstructionLibraryEntry::normalizedValue(otherPhrase).startsWith(key))
                        << phrase.toStdString() << " / " << otherPhrase.toStdString();
                }
            }
        }
    }
    EXPECT_EQ(longest, u"整理成Cursor指令"_s);
    EXPECT_EQ(textkit::graphemeCount(longest), 11);
}

TEST(InstructionLibraryCatalogTest, AllEntriesListsBuiltinsThenLatestCustomFirst) {
    const InstructionLibraryEntry tenOClock = instruction({.title = u"早"_s, .updatedMinute = 60});
    const InstructionLibraryEntry elevenOClock =
        instruction({.title = u"晚"_s, .updatedMinute = 120});
    const InstructionLibraryEntry ten = instruction({.title = u"指令10"_s});
    const InstructionLibraryEntry two = instruction({.title = u"指令2"_s});
    const InstructionLibraryEntry twoAgain = instruction({.title = u"指令2"_s});
    const QList<InstructionLibraryEntry> builtins = {
        InstructionLibraryCatalog::builtinEntries()[3],
        InstructionLibraryCatalog::builtinEntries()[0]};

    const QList<InstructionLibraryEntry> all = InstructionLibraryCatalog::allEntries(
        builtins, {ten, tenOClock, two, elevenOClock, twoAgain});
    EXPECT_EQ(all, (QList<InstructionLibraryEntry>{builtins[0], builtins[1], elevenOClock,
                                                   tenOClock, two, twoAgain, ten}));

    const InstructionLibrarySnapshot snapshot = InstructionLibraryCatalog::defaultSnapshot({ten});
    EXPECT_EQ(snapshot.builtinTemplateVersion, 3);
    EXPECT_EQ(snapshot.builtinEntries, InstructionLibraryCatalog::builtinEntries());
    EXPECT_EQ(snapshot.customEntries, QList<InstructionLibraryEntry>{ten});
}

} // namespace
} // namespace tovalit
