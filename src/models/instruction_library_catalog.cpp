#include "models/instruction_library_catalog.h"

#include "support/textkit.h"
#include "support/uuid_text.h"

#include <algorithm>
#include <initializer_list>

namespace tovalit {

namespace {

using Category = InstructionLibraryCategory;

QString builtInPrompt(const QString &assistantName, const QString &task,
                      std::initializer_list<QString> requirements) {
    QStringList lines{
        QStringLiteral("你是 Tovalit 的") + assistantName + QStringLiteral("。"),
        QString(),
        task,
        QString(),
        QStringLiteral("要求："),
    };
    int number = 0;
    for (const QString &requirement : requirements)
        lines.append(QString::number(++number) + QStringLiteral(". ") + requirement);
    return lines.join(u'\n');
}

QString translationPrompt(const QString &assistantName, const QString &targetLanguage,
                          const QString &registerHint) {
    return builtInPrompt(
        assistantName,
        QStringLiteral("请把用户提供的内容翻译成自然、准确、可直接使用的") + targetLanguage +
            QStringLiteral("。"),
        {
            QStringLiteral("只输出") + targetLanguage +
                QStringLiteral("结果，不要解释，不要双语对照。"),
            QStringLiteral("忠实保留原意、语气、限制条件和信息密度；不要漏信息，也不要擅自扩写。"),
            registerHint,
            QStringLiteral(
                "专有名词、产品名、API、函数名、路径、参数、报错和品牌名优先保留原文或采用"
                "行业常用写法，不要乱翻。"),
            QStringLiteral(
                "如果原文本身是列表、标题或命令格式，保留相同的信息结构；如果原文是自然句"
                "子，就优先译成自然句子。"),
        });
}

InstructionLibraryEntry builtin(const char *id, const QString &title, const QString &summary,
                                const QStringList &invocationPhrases, const QString &invocationHint,
                                Category category, qint64 maxTokens,
                                const QString &promptTemplate) {
    const QDateTime distantPast = InstructionLibraryCatalog::distantPast();
    return InstructionLibraryEntry(
        uuidtext::parse(QString::fromLatin1(id)).value_or(QUuid::createUuid()), title, summary,
        promptTemplate, invocationPhrases, invocationHint, category,
        InstructionLibraryEntrySource::builtin, true, maxTokens, distantPast, distantPast);
}

QList<InstructionLibraryEntry> makeBuiltinEntries() {
    return {
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D01", QStringLiteral("写日报"),
                QStringLiteral("把口述内容整理成一份清晰的中文日报。"),
                {QStringLiteral("写日报"), QStringLiteral("帮我写日报")},
                QStringLiteral("写日报 + 今天做了什么"), Category::writing, 900,
                builtInPrompt(
                    QStringLiteral("日报助手"),
                    QStringLiteral("请根据用户提供的口述内容，输出一份可直接发送的中文工作日报。"),
                    {
                        QStringLiteral("只输出最终正文，不要解释，不要代码块。"),
                        QStringLiteral("忠实原意，禁止编造，也不要无依据省略关键细节。"),
                        QStringLiteral("优先覆盖：今日进展、关键结果、风险/阻塞、下一步；如果信息不"
                                       "全，就按已有信息自然组织。"),
                        QStringLiteral("如果用户口述内容较少，就输出简洁版本，不要硬凑篇幅。"),
                        QStringLiteral("语气专业、自然，适合发给同事或领导。"),
                    })),
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D02", QStringLiteral("写周报"),
                QStringLiteral("把零散口述整理成结构化周报。"),
                {QStringLiteral("写周报"), QStringLiteral("帮我写周报")},
                QStringLiteral("写周报 + 本周完成了什么"), Category::writing, 1100,
                builtInPrompt(
                    QStringLiteral("周报助手"),
                    QStringLiteral("请根据用户提供的内容，写一份简洁清晰的中文周报。"),
                    {
                        QStringLiteral("只输出最终周报正文，不要解释。"),
                        QStringLiteral("优先组织为：本周完成、关键产出、问题与风险、下周计划。"),
                        QStringLiteral("不要虚构数据、成果、截止时间和结论。"),
                        QStringLiteral("把口语整理得更专业一些，但不要改掉原意，也不要过度压缩。"),
                    })),
        builtin(
            "901B3775-8DBD-4EBA-B779-CC5568B03D03", QStringLiteral("写会议跟进"),
            QStringLiteral("把会议后的口述整理成 follow-up 文本。"),
            {QStringLiteral("写会议跟进"), QStringLiteral("整理会议跟进"),
             QStringLiteral("写会议后续")},
            QStringLiteral("写会议跟进 + 刚刚会议聊了什么"), Category::writing, 900,
            builtInPrompt(
                QStringLiteral("会议跟进助手"),
                QStringLiteral("请把用户提供的会议内容整理成一份可直接发送的会议跟进消息。"),
                {
                    QStringLiteral("只输出最终文本，不要解释。"),
                    QStringLiteral("优先覆盖：会议共识、下一步、负责人或待确认项。"),
                    QStringLiteral("如果原文没有明确负责人、时间或结论，就保持留白或写“待确认”，"
                                   "不要编造。"),
                    QStringLiteral("语言利落、清楚，适合会后同步；除非内容天然多项并列，否则不要"
                                   "把所有内容硬改成清单。"),
                })),
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D04", QStringLiteral("写文档"),
                QStringLiteral("把口述思路整理成一版文档草稿。"),
                {QStringLiteral("写文档"), QStringLiteral("帮我写文档"),
                 QStringLiteral("生成文档草稿")},
                QStringLiteral("写文档 + 我想表达什么"), Category::writing, 1200,
                builtInPrompt(
                    QStringLiteral("文档助手"),
                    QStringLiteral("请把用户的口述内容整理成一版中文文档草稿。"),
                    {
                        QStringLiteral("只输出最终文档，不要解释。"),
                        QStringLiteral("可以使用必要的小标题和列表，但不要过度模板化；结构应服"
                                       "务内容本身。"),
                        QStringLiteral("优先覆盖背景、目标、核心内容、下一步；如果原文更适合别"
                                       "的结构，就按最自然的方式组织。"),
                        QStringLiteral("保留用户原意，不要补充未经提及的事实，不要无依据省略关"
                                       "键约束。"),
                    })),
        builtin(
            "901B3775-8DBD-4EBA-B779-CC5568B03D05", QStringLiteral("写提示词"),
            QStringLiteral("把需求或策略整理成可直接使用的 Prompt。"),
            {QStringLiteral("写提示词"), QStringLiteral("帮我写提示词"),
             QStringLiteral("生成提示词")},
            QStringLiteral("写提示词 + 我要让 AI 做什么"), Category::prompt, 1200,
            builtInPrompt(
                QStringLiteral("Prompt 助手"),
                QStringLiteral("请把用户描述的目标整理成一个可直接使用的高质量 Prompt。"),
                {
                    QStringLiteral("只输出最终 Prompt，不要解释。"),
                    QStringLiteral("优先明确角色、任务、约束、判断标准和输出要求，但不要为了完整"
                                   "性瞎补业务设定。"),
                    QStringLiteral("如果用户未要求模板字段化，优先输出自然可执行的 Prompt，不要机"
                                   "械罗列字段。"),
                    QStringLiteral("Prompt 要兼顾忠实、清晰和可执行，拿去就能喂给大模型。"),
                })),
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D06", QStringLiteral("提炼要点"),
                QStringLiteral("把一段口述压缩成要点清单。"),
                {QStringLiteral("提炼要点"), QStringLiteral("帮我提炼要点"),
                 QStringLiteral("总结要点")},
                QStringLiteral("提炼要点 + 这一段内容"), Category::planning, 700,
                builtInPrompt(
                    QStringLiteral("要点提炼助手"),
                    QStringLiteral("请把用户内容整理成 3 到 7 条高密度要点。"),
                    {
                        QStringLiteral("只输出最终要点，不要解释。"),
                        QStringLiteral("每条尽量短而完整，能保留限制条件、数字和结论边界就保留。"),
                        QStringLiteral("不要凭空补结论，只提炼原文已有信息。"),
                    })),
        builtin(
            "901B3775-8DBD-4EBA-B779-CC5568B03D07", QStringLiteral("润色表达"),
            QStringLiteral("保留原意，把表达改得更顺更专业。"),
            {QStringLiteral("润色一下"), QStringLiteral("帮我润色"), QStringLiteral("改写一下")},
            QStringLiteral("润色一下 + 原句"), Category::rewrite, 700,
            builtInPrompt(
                QStringLiteral("润色助手"),
                QStringLiteral("请把用户提供的中文内容润色得更通顺、更自然、更专业。"),
                {
                    QStringLiteral("只输出润色后的结果，不要解释。"),
                    QStringLiteral("严格保留原意，不要新增信息。"),
                    QStringLiteral("优先提升语序、措辞和可读性，不要过度书面化，也不要无故转成列"
                                   "表。"),
                })),
        builtin(
            "901B3775-8DBD-4EBA-B779-CC5568B03D08", QStringLiteral("翻译成英文"),
            QStringLiteral("把口述内容翻成自然英文。"),
            {QStringLiteral("翻译成英文"), QStringLiteral("翻译成英语"),
             QStringLiteral("帮我翻译成英文"), QStringLiteral("帮我翻译成英语"),
             QStringLiteral("译成英文"), QStringLiteral("译成英语")},
            QStringLiteral("翻译成英文 + 中文内容"), Category::rewrite, 800,
            translationPrompt(QStringLiteral("英文翻译助手"), QStringLiteral("英文"),
                              QStringLiteral("默认输出现代、自然、可直接使用的英文；如果原文明显"
                                             "是聊天、邮件、文档或工程说明，请自动匹配相应语气和"
                                             "正式度。"))),
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D14", QStringLiteral("翻译成日语"),
                QStringLiteral("把口述内容翻成自然日语。"),
                {QStringLiteral("翻译成日语"), QStringLiteral("翻译成日文"),
                 QStringLiteral("帮我翻译成日语"), QStringLiteral("帮我翻译成日文"),
                 QStringLiteral("译成日语"), QStringLiteral("译成日文")},
                QStringLiteral("翻译成日语 + 中文内容"), Category::rewrite, 800,
                translationPrompt(
                    QStringLiteral("日语翻译助手"), QStringLiteral("日语"),
                    QStringLiteral("默认输出自然、现代、可直接使用的日语；根据原文场景"
                                   "自动决定更口语、敬体还是更书面，但不要过度敬语化。"))),
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D09", QStringLiteral("写行动清单"),
                QStringLiteral("从口述里提取出下一步行动项。"),
                {QStringLiteral("写行动清单"), QStringLiteral("提取待办"),
                 QStringLiteral("整理行动项")},
                QStringLiteral("写行动清单 + 这段安排"), Category::planning, 700,
                builtInPrompt(
                    QStringLiteral("行动清单助手"),
                    QStringLiteral("请从用户内容中提取明确的下一步行动项。"),
                    {
                        QStringLiteral("只输出行动清单，不要解释。"),
                        QStringLiteral("使用短列表输出，每条只保留一个动作。"),
                        QStringLiteral("如果原文没有明确行动项，就整理成最接近行动的待确认事项，"
                                       "不要编造负责人或截止时间。"),
                    })),
        builtin(
            "901B3775-8DBD-4EBA-B779-CC5568B03D10", QStringLiteral("写复盘"),
            QStringLiteral("把经历或过程整理成一版复盘总结。"),
            {QStringLiteral("写复盘"), QStringLiteral("复盘总结"), QStringLiteral("帮我写复盘")},
            QStringLiteral("写复盘 + 这次事情经过"), Category::writing, 1000,
            builtInPrompt(
                QStringLiteral("复盘助手"), QStringLiteral("请把用户内容整理成一版复盘总结。"),
                {
                    QStringLiteral("只输出最终复盘，不要解释。"),
                    QStringLiteral("优先组织为：发生了什么、做得好的地方、问题与原因、下一"
                                   "步改进。"),
                    QStringLiteral("不要编造反思，只在原文信息基础上归纳。"),
                    QStringLiteral("对关键事实、指标和时间线保持原文口径。"),
                })),
        builtin(
            "901B3775-8DBD-4EBA-B779-CC5568B03D11", QStringLiteral("Cursor指令化"),
            QStringLiteral("把口述整理成可直接粘贴到 Cursor 的工程指令。"),
            {QStringLiteral("Cursor指令化"), QStringLiteral("给Cursor下指令"),
             QStringLiteral("整理成Cursor指令")},
            QStringLiteral("Cursor指令化 + 你的口述需求"), Category::prompt, 1000,
            builtInPrompt(
                QStringLiteral("Cursor 指令助手"),
                QStringLiteral("请把用户口述整理成一段可直接粘贴到 Cursor 的工程化指令文本。"),
                {
                    QStringLiteral("只输出最终文本，不要解释，不要代码块包裹。"),
                    QStringLiteral("忠实原意，最小改写；把目标、范围、限制、验收和真实风险自然揉"
                                   "进去，像工程师本人会写的任务描述。"),
                    QStringLiteral("保留文件路径、代码符号、命令、错误信息、分支名、模型名和约束"
                                   "条件，不得编造不存在的文件、函数或结果。"),
                    QStringLiteral("简单需求优先自然段；内容天然复杂时，可以自发分段或少量分点，"
                                   "但不要机械改成 Todo 模板。"),
                    QStringLiteral("如信息确实不足，只对关键缺口写“待确认：…”，不要为了补全而瞎"
                                   "猜。"),
                })),
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D12", QStringLiteral("高保真整理"),
                QStringLiteral("尽量按原意整理，重点去噪而不是改写。"),
                {QStringLiteral("高保真整理"), QStringLiteral("按原意整理"),
                 QStringLiteral("保真整理")},
                QStringLiteral("高保真整理 + 原始口述"), Category::rewrite, 900,
                builtInPrompt(QStringLiteral("高保真整理助手"),
                              QStringLiteral("请在不改变原意的前提下，对用户文本做最小必要整理。"),
                              {
                                  QStringLiteral("只输出整理后文本，不要解释。"),
                                  QStringLiteral(
                                      "仅做去口头禅、去重复、语序微调；不得扩写、缩写关键信息、改术"
                                      "语。"),
                                  QStringLiteral("保留原有人称、语气、动作对象和限制条件。"),
                                  QStringLiteral("除非用户明确要求，不转列表、不加模板标题。"),
                              })),
        builtin("901B3775-8DBD-4EBA-B779-CC5568B03D13", QStringLiteral("自然转消息"),
                QStringLiteral("把口述转成可直接发送的自然消息。"),
                {QStringLiteral("自然转消息"), QStringLiteral("整理成消息"),
                 QStringLiteral("发出去版本")},
                QStringLiteral("自然转消息 + 口述内容"), Category::writing, 800,
                builtInPrompt(QStringLiteral("消息整理助手"),
                              QStringLiteral("请把用户口述整理成一条可直接发送的中文消息。"),
                              {
                                  QStringLiteral("只输出消息正文，不要解释。"),
                                  QStringLiteral("保持自然、有人味，不官话，不模板腔。"),
                                  QStringLiteral("忠实原意，不编造，也不要漏掉关键条件。"),
                                  QStringLiteral("默认单段输出；仅当用户明确要求时才分点。"),
                              })),
    };
}

} // namespace

QDateTime InstructionLibraryCatalog::distantPast() {
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
}

const InstructionLibraryBuiltinTemplatePack &
InstructionLibraryCatalog::defaultBuiltinTemplatePack() {
    static const InstructionLibraryBuiltinTemplatePack pack{builtinTemplateVersion,
                                                            makeBuiltinEntries()};
    return pack;
}

const QList<InstructionLibraryEntry> &InstructionLibraryCatalog::builtinEntries() {
    return defaultBuiltinTemplatePack().entries;
}

InstructionLibrarySnapshot
InstructionLibraryCatalog::defaultSnapshot(QList<InstructionLibraryEntry> customEntries) {
    const InstructionLibraryBuiltinTemplatePack &pack = defaultBuiltinTemplatePack();
    return InstructionLibrarySnapshot{pack.version, pack.entries, std::move(customEntries)};
}

QList<InstructionLibraryEntry>
InstructionLibraryCatalog::allEntries(const QList<InstructionLibraryEntry> &builtinEntries,
                                      QList<InstructionLibraryEntry> customEntries) {
    std::stable_sort(customEntries.begin(), customEntries.end(),
                     [](const InstructionLibraryEntry &lhs, const InstructionLibraryEntry &rhs) {
                         if (lhs.updatedAt != rhs.updatedAt)
                             return lhs.updatedAt > rhs.updatedAt;
                         return textkit::localizedStandardCompare(lhs.title, rhs.title) < 0;
                     });
    QList<InstructionLibraryEntry> all = builtinEntries;
    all.append(customEntries);
    return all;
}

} // namespace tovalit
