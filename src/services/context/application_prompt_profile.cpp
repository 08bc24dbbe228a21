#include "services/context/application_prompt_profile.h"

namespace tovalit {

namespace {

// Needles are lower case and matched as substrings of the lower-cased
// name and identifier; the profile order settles overlaps.
const QStringList devToolBundleNeedles = {QStringLiteral("todesktop.230313mzl4w4u92"),
                                          QStringLiteral("cursor")};
const QStringList devToolNameNeedles = {QStringLiteral("cursor")};
const QStringList aiChatBundleNeedles = {QStringLiteral("anthropic"), QStringLiteral("openai"),
                                         QStringLiteral("vellup")};
const QStringList aiChatNameNeedles = {QStringLiteral("claude"), QStringLiteral("chatgpt"),
                                       QStringLiteral("vellup")};
const QStringList documentBundleNeedles = {QStringLiteral("feishu.docs"), QStringLiteral("notion"),
                                           QStringLiteral("google.docs"), QStringLiteral("pages"),
                                           QStringLiteral("ulysses"),     QStringLiteral("bear"),
                                           QStringLiteral("devonthink")};
const QStringList documentNameNeedles = {
    QStringLiteral("notion"), QStringLiteral("feishu docs"), QStringLiteral("google docs"),
    QStringLiteral("pages"),  QStringLiteral("ulysses"),     QStringLiteral("bear")};
const QStringList emailBundleNeedles = {QStringLiteral("mail"), QStringLiteral("outlook"),
                                        QStringLiteral("spark"), QStringLiteral("airmail"),
                                        QStringLiteral("superhuman")};
const QStringList emailNameNeedles = {QStringLiteral("mail"), QStringLiteral("outlook"),
                                      QStringLiteral("spark"), QStringLiteral("superhuman")};
const QStringList messagingBundleNeedles = {QStringLiteral("feishu"),   QStringLiteral("slack"),
                                            QStringLiteral("wechat"),   QStringLiteral("qq"),
                                            QStringLiteral("telegram"), QStringLiteral("discord")};
const QStringList messagingNameNeedles = {QStringLiteral("feishu"),  QStringLiteral("slack"),
                                          QStringLiteral("wechat"),  QStringLiteral("telegram"),
                                          QStringLiteral("discord"), QStringLiteral("qq")};
// Chromium's Linux builds call themselves "chromium" (desktop entry, window
// class, name on the accessibility bus), which "chrome" does not match.
const QStringList browserBundleNeedles = {QStringLiteral("safari"),   QStringLiteral("chrome"),
                                          QStringLiteral("chromium"), QStringLiteral("arc"),
                                          QStringLiteral("firefox"),  QStringLiteral("edge")};
const QStringList browserNameNeedles = {QStringLiteral("safari"),   QStringLiteral("chrome"),
                                        QStringLiteral("chromium"), QStringLiteral("arc"),
                                        QStringLiteral("firefox"),  QStringLiteral("edge")};

ApplicationPromptProfile devTool() {
    return {
        QStringLiteral("cursor"),
        QStringLiteral("cursor"),
        QStringLiteral("dev_tool"),
        QStringLiteral("给 AI 编程工具看的执行型输入"),
        QStringLiteral("输出可直接粘贴执行的自然语言工程请求"),
        QStringLiteral("优先像工程师本人会贴进 Cursor "
                       "的内容：说清要改什么、为什么、范围和验收。能自然成段就成段，"
                       "天然需要时再分点。"),
        QStringLiteral("保留代码符号、文件路径、命令、分支名、PR、commit、lint、build、SSE、API "
                       "等术语。"),
        QStringLiteral("先根据当前界面和光标附近内容判断是聊天、Agent "
                       "对话还是文档编辑，再决定结构密度；不要预设 Todo 模板。")};
}

ApplicationPromptProfile aiChat(QString brandKey) {
    return {
        std::move(brandKey),
        QStringLiteral("ai_chat"),
        QStringLiteral("ai_chat"),
        QStringLiteral("给 AI 对话产品看的长文本输入"),
        QStringLiteral("输出可以直接粘贴给 AI 的完整问题描述或任务说明"),
        QStringLiteral("优先把目标、上下文、限制和期望结果自然揉进 1 到 2 "
                       "段；任务本身复杂时再自发分段或少量分点，不要机械套模板。"),
        QStringLiteral("保留模型名、Prompt、System Prompt、输出格式、流式、RAG、上下文窗口等 AI "
                       "术语。"),
        QStringLiteral("更像真人在当前 AI "
                       "对话框里提问或下任务；只有内容天然复杂时才结构化。")};
}

ApplicationPromptProfile document() {
    return {
        QStringLiteral("docs"),
        QStringLiteral("document_editor"),
        QStringLiteral("document"),
        QStringLiteral("给文档、说明或长文本看的内容"),
        QStringLiteral("输出适合当前文档位置的自然续写或改写文本"),
        QStringLiteral("优先顺着光标附近上下文续写或补写；可自然分段，只有内容本身需要时才加小标"
                       "题或列表。"),
        QStringLiteral("保留文档中的专有名词、文件名、标题层级、数字和关键限制。"),
        QStringLiteral("让结构跟内容走，不要为了显得专业硬写成模板。")};
}

ApplicationPromptProfile email() {
    return {
        QStringLiteral("email"),
        QStringLiteral("email"),
        QStringLiteral("email"),
        QStringLiteral("给邮件收件人看的正式沟通内容"),
        QStringLiteral("输出可直接发送的邮件句子或段落"),
        QStringLiteral("在保留原意的前提下更完整、更礼貌一些，但仍然像真人邮件，不要空泛套话。"),
        QStringLiteral("保留收件人、时间、项目名、行动项和承诺边界。"),
        QStringLiteral("只有用户明确要完整邮件结构时才加称呼、结尾或分点。")};
}

ApplicationPromptProfile messaging() {
    return {
        QStringLiteral("messaging"),
        QStringLiteral("chat_message"),
        QStringLiteral("messaging"),
        QStringLiteral("给人看的即时沟通消息"),
        QStringLiteral("输出简洁自然、可以直接发送的沟通文本"),
        QStringLiteral("优先像真人刚刚会发出去的消息：短、顺、口语化，必要时礼貌一点，但不要写成"
                       "文档腔。"),
        QStringLiteral("保留人名、项目名、时间、动作和结论。"),
        QStringLiteral("不要默认改成纪要、摘要或清单；除非内容天然是并列事项。")};
}

ApplicationPromptProfile browser() {
    return {
        QStringLiteral("browser"),
        QStringLiteral("browser_text_input"),
        QStringLiteral("browser"),
        QStringLiteral("网页输入框场景"),
        QStringLiteral("结合网页界面和光标附近内容生成可直接输入的文本"),
        QStringLiteral("先看光标附近内容和界面提示，判断这是搜索框、评论框、表单还是富文本，再决"
                       "定简洁度和结构。"),
        QStringLiteral("保留界面里的关键词、标签、按钮文案和专有名词。"),
        QStringLiteral("让表达贴近当前网页的原生输入习惯，不要预设固定模板。")};
}

ApplicationPromptProfile generic() {
    return {
        QStringLiteral("generic"),
        QStringLiteral("generic"),
        QStringLiteral("general"),
        QStringLiteral("通用文本输入场景"),
        QStringLiteral("输出可直接粘贴使用的自然文本"),
        QStringLiteral("优先保真和可读性，并结合光标附近内容判断句子该短一点、口语一点，还是更完"
                       "整一点。"),
        QStringLiteral("保留原文里的产品名、专有名词和关键约束。"),
        QStringLiteral("没有明确要求时，不要主动套模板；让结构随内容自然生长。")};
}

} // namespace

bool ApplicationPromptProfile::matchesAny(const QString &text, const QStringList &keys) {
    for (const QString &key : keys) {
        if (text.contains(key))
            return true;
    }
    return false;
}

ApplicationPromptProfile ApplicationPromptProfile::resolveProfile(const QString &appName,
                                                                  const QString &bundleID) {
    const QString name = appName.toLower();
    const QString bundle = bundleID.toLower();
    if (matchesAny(name, devToolNameNeedles) || matchesAny(bundle, devToolBundleNeedles))
        return devTool();
    if (matchesAny(name, aiChatNameNeedles) || matchesAny(bundle, aiChatBundleNeedles))
        return aiChat(name.contains(QLatin1String("claude")) ? QStringLiteral("claude")
                                                             : QStringLiteral("ai_chat"));
    if (matchesAny(bundle, documentBundleNeedles) || matchesAny(name, documentNameNeedles))
        return document();
    if (matchesAny(bundle, emailBundleNeedles) || matchesAny(name, emailNameNeedles))
        return email();
    if (matchesAny(bundle, messagingBundleNeedles) || matchesAny(name, messagingNameNeedles))
        return messaging();
    if (matchesAny(bundle, browserBundleNeedles) || matchesAny(name, browserNameNeedles))
        return browser();
    return generic();
}

} // namespace tovalit
