#include "services/instructions/instruction_library_ai_service.h"

#include "services/instructions/instruction_library_ai_service_error.h"
#include "services/text_processing/chat_completions_envelope.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringList>

namespace tovalit {

namespace {

using Error = InstructionLibraryAIServiceError;
using Envelope = ChatCompletionsEnvelope;

// Low enough that a run follows its prompt, with a little room to phrase.
constexpr double temperature = 0.1;
constexpr qint64 draftMaxTokens = 900;

// What a draft answer must hold.
struct InstructionDraftPayload {
    QString title;
    QString summary;
    QString category;
    QString promptTemplate;
};

HttpRequest buildRequest(const VellupStructuredFormatterConfiguration &configuration,
                         const QJsonArray &messages, qint64 maxTokens) {
    // Unlike formatting, a model of only spaces is refused here too.
    if (textkit::isBlank(configuration.model))
        throw Error::invalidRequest();
    return Envelope::buildRequest(
        configuration, Envelope::buildBody(configuration.model, messages, temperature, maxTokens));
}

HttpRequest buildExecutionRequest(const VellupStructuredFormatterConfiguration &configuration,
                                  const InstructionLibraryEntry &entry, const QString &input) {
    const QJsonArray messages{
        Envelope::message(QStringLiteral("system"), entry.promptTemplate),
        Envelope::message(QStringLiteral("user"), input),
    };
    return buildRequest(configuration, messages, entry.maxTokens);
}

HttpRequest buildDraftRequest(const VellupStructuredFormatterConfiguration &configuration,
                              const QString &description) {
    // The "{" prefill steers the model straight into the object.
    const QJsonArray messages{
        Envelope::message(QStringLiteral("system"), InstructionLibraryAIService::draftPrompt()),
        Envelope::message(QStringLiteral("user"), description),
        Envelope::message(QStringLiteral("assistant"), QStringLiteral("{")),
    };
    return buildRequest(configuration, messages, draftMaxTokens);
}

std::optional<QString> stringMember(const QJsonObject &object, const QString &key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// The model was prefilled with "{", so an answer without an object is read
// as that object's continuation.
InstructionDraftPayload parseDraftPayload(const QString &text) {
    const QString jsonText = InstructionLibraryAIService::extractJSONObjectString(text).value_or(
        QStringLiteral("{") + text);
    QJsonParseError parseError{};
    const QJsonDocument document = json::parse(jsonText.toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw Error::invalidJSON();
    const QJsonObject object = document.object();
    const auto title = stringMember(object, QStringLiteral("title"));
    const auto summary = stringMember(object, QStringLiteral("summary"));
    const auto category = stringMember(object, QStringLiteral("category"));
    const auto promptTemplate = stringMember(object, QStringLiteral("prompt_template"));
    if (!title || !summary || !category || !promptTemplate)
        throw Error::invalidJSON();
    return {*title, *summary, *category, *promptTemplate};
}

} // namespace

InstructionLibraryAIService::InstructionLibraryAIService(
    VellupStructuredFormatterConfiguration configuration, std::shared_ptr<HttpTransport> transport,
    Clock clock)
    : m_configuration(std::move(configuration))
    , m_transport(transport ? std::move(transport) : VellupStructuredFormatter::liveTransport())
    , m_clock(std::move(clock)) {}

const QString &InstructionLibraryAIService::draftPrompt() {
    static const QString prompt =
        QStringList{
            QStringLiteral("你是 Tovalit 的指令库创建助手。"),
            QString(),
            QStringLiteral(
                "用户会描述一个他想要的指令，请把它整理成一份适合保存到本地指令库的指令草稿。"),
            QString(),
            QStringLiteral("你必须只输出 JSON，对应字段如下："),
            QStringLiteral("{"),
            QStringLiteral("  \"title\": \"指令名称\","),
            QStringLiteral("  \"summary\": \"一句话说明这个指令是干什么的\","),
            QStringLiteral("  \"category\": \"writing|rewrite|planning|prompt\","),
            QStringLiteral("  \"prompt_template\": \"未来真正执行这个指令时要作为 system prompt "
                           "发送给模型的内容\""),
            QStringLiteral("}"),
            QString(),
            QStringLiteral("规则："),
            QStringLiteral("1. title 要简短，最好 2 到 8 个字，适合作为侧边栏里的指令名称。"),
            QStringLiteral("2. summary 用一句中文说明用途，不要太长。"),
            QStringLiteral("3. category 只能是 writing、rewrite、planning、prompt 之一。"),
            QStringLiteral(
                "4. prompt_template 要写成可复用的 system "
                "prompt，不要写入这次请求的具体细节，因为真正的内容之后会作为 user message 传入。"),
            QStringLiteral("5. prompt_template "
                           "要简洁但严格：必须要求忠实于用户原意，禁止编造，禁止无依据省略，并说明"
                           "结构应从内容中自然生长。"),
            QStringLiteral("6. 翻译类指令要保留语气、术语、格式和专有名词；工程或 Cursor "
                           "类指令要保留路径、符号、约束、验收标准和真实缺口。"),
            QStringLiteral(
                "7. 除非用户明确要求，prompt_template 不要强制输出待办、清单或模板化字段。"),
            QStringLiteral("8. prompt_template 要像长期使用、以后还能更新的 system "
                           "prompt，而不是一次性执行说明。"),
            QStringLiteral("9. 不要输出 Markdown，不要加任何解释。"),
        }
            .join(u'\n');
    return prompt;
}

QCoro::Task<QString> InstructionLibraryAIService::execute(InstructionLibraryEntry entry,
                                                          QString input) const {
    // Everything the request needs is copied into the coroutine, so a
    // service made for one call may be a temporary.
    return runExecution(m_configuration, m_transport, std::move(entry), std::move(input));
}

QCoro::Task<InstructionLibraryEntry>
InstructionLibraryAIService::draftCustomEntry(QString description) const {
    return runDraft(m_configuration, m_transport, m_clock, std::move(description));
}

QCoro::Task<QString>
InstructionLibraryAIService::runExecution(VellupStructuredFormatterConfiguration configuration,
                                          std::shared_ptr<HttpTransport> transport,
                                          InstructionLibraryEntry entry, QString input) {
    const QString trimmedInput = textkit::trimmed(input);
    if (trimmedInput.isEmpty())
        throw Error::emptyRenderedText();
    HttpRequest request = buildExecutionRequest(configuration, entry, trimmedInput);
    const QString content =
        co_await requestAssistantContent(std::move(transport), std::move(request));
    QString text = normalizedExecutionText(content);
    if (text.isEmpty())
        throw Error::emptyRenderedText();
    co_return text;
}

QCoro::Task<InstructionLibraryEntry>
InstructionLibraryAIService::runDraft(VellupStructuredFormatterConfiguration configuration,
                                      std::shared_ptr<HttpTransport> transport, Clock clock,
                                      QString description) {
    const QString trimmedDescription = textkit::trimmed(description);
    if (trimmedDescription.isEmpty())
        throw Error::invalidRequest();
    HttpRequest request = buildDraftRequest(configuration, trimmedDescription);
    const QString content =
        co_await requestAssistantContent(std::move(transport), std::move(request));
    co_return draftedEntry(content, clock());
}

InstructionLibraryEntry InstructionLibraryAIService::draftedEntry(QStringView content,
                                                                  const QDateTime &now) {
    const InstructionDraftPayload payload = parseDraftPayload(content.toString());
    // Only an exact raw value counts; anything else is ordinary writing.
    InstructionLibraryCategory category = InstructionLibraryCategory::writing;
    fromRawValue(payload.category, category);
    return InstructionLibraryEntry::makeCustom(std::nullopt, payload.title, payload.summary,
                                               payload.promptTemplate, category, true,
                                               draftMaxTokens, now, now);
}

QCoro::Task<QString>
InstructionLibraryAIService::requestAssistantContent(std::shared_ptr<HttpTransport> transport,
                                                     HttpRequest request) {
    const HttpResponse response = co_await transport->send(std::move(request));
    if (!response.isSuccess())
        throw Error::serverError(response.status, Envelope::serverMessage(response.body));
    const auto text = Envelope::assistantContent(response.body);
    if (!text)
        throw Error::invalidResponse();
    if (text->isEmpty())
        throw Error::emptyContent();
    co_return *text;
}

QString InstructionLibraryAIService::normalizedExecutionText(QStringView text) {
    static const QString fence = QStringLiteral("```");
    // The tagged fences go first, so that a tag never stays behind as the
    // first line; any other tag (json …) does.
    static const QStringList markers{fence + QStringLiteral("markdown"),
                                     fence + QStringLiteral("md"), fence + QStringLiteral("text"),
                                     fence};
    QString result = textkit::trimmed(text);
    if (!result.startsWith(fence) || !result.endsWith(fence))
        return result;
    for (const QString &marker : markers)
        result.remove(marker);
    return textkit::trimmed(result);
}

std::optional<QString> InstructionLibraryAIService::extractJSONObjectString(QStringView text) {
    const qsizetype open = text.indexOf(u'{');
    const qsizetype close = text.lastIndexOf(u'}');
    if (open < 0 || close < open)
        return std::nullopt;
    return text.sliced(open, close - open + 1).toString();
}

} // namespace tovalit
