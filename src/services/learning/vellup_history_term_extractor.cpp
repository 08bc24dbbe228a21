#include "services/learning/vellup_history_term_extractor.h"

#include "models/personal_lexicon_entry.h"
#include "services/learning/history_frequency_lexicon_learner.h"
#include "services/lexicon/lexicon_term_validator.h"
#include "services/text_processing/chat_completions_envelope.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>

#include <chrono>

namespace tovalit {

namespace {

using Error = VellupHistoryTermExtractorError;

constexpr int maxAnswerTokens = 160;

bool isArrayOfObjects(const QJsonValue &value) {
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    return std::all_of(array.begin(), array.end(),
                       [](const QJsonValue &element) { return element.isObject(); });
}

// The strings of {"terms": [...]}, or nothing when the text is not such an
// object.
std::optional<QStringList> decodeTerms(QStringView json) {
    const auto payload = json::parseObject(json.toUtf8());
    if (!payload)
        return std::nullopt;
    const QJsonValue terms = payload->value(u"terms");
    if (!terms.isArray())
        return std::nullopt;
    QStringList strings;
    for (const QJsonValue &term : terms.toArray()) {
        if (!term.isString())
            return std::nullopt;
        strings.append(term.toString());
    }
    return strings;
}

} // namespace

VellupHistoryTermExtractor::VellupHistoryTermExtractor(
    VellupStructuredFormatterConfiguration configuration, std::shared_ptr<HttpTransport> transport)
    : m_configuration(std::move(configuration))
    , m_transport(transport ? std::move(transport) : VellupStructuredFormatter::liveTransport()) {}

QCoro::Task<QStringList> VellupHistoryTermExtractor::extractTerms(QString transcript) const {
    return run(m_configuration, m_transport, std::move(transcript));
}

QCoro::Task<QStringList>
VellupHistoryTermExtractor::run(VellupStructuredFormatterConfiguration configuration,
                                std::shared_ptr<HttpTransport> transport, QString transcript) {
    const QString trimmedTranscript = textkit::trimmed(transcript);
    if (trimmedTranscript.isEmpty())
        co_return QStringList();

    HttpRequest request = buildRequest(configuration, trimmedTranscript);
    const HttpResponse response = co_await transport->send(std::move(request));
    if (response.status <= 0)
        throw Error::invalidResponse();
    if (!response.isSuccess()) {
        throw Error::serverError(
            response.status,
            textkit::decodeUtf8Strict(response.body).value_or(QStringLiteral("unknown error")));
    }
    co_return parseTerms(extractAssistantContent(response.body));
}

const QString &VellupHistoryTermExtractor::systemPrompt() {
    static const QString prompt = QStringView(uR"prompt(你是 Tovalit 的历史术语抽取器。

你的任务：从单条语音转写里，找出适合进入“个人词库候选区”的术语。

只保留这些类型：
- 专业术语
- 产品名、品牌名、公司名
- 人名、团队名、项目名
- 英文缩写、中英混合专有词

严格不要保留：
- 常见中文口语词
- 普通动词、形容词、副词
- 泛化名词，如“东西”“内容”“功能”“产品”
- 句子、短句、总结性描述

要求：
1. 宁缺毋滥，没有就返回空数组。
2. 最多返回 6 个词。
3. 尽量保留用户原本的大小写和常见写法。
4. 不要改写含义，不要凭空造词。
5. 只输出 JSON，不要输出解释。

输出格式：
{"terms":["MacBook","Cursor","火山引擎"]})prompt")
                                      .toString();
    return prompt;
}

HttpRequest VellupHistoryTermExtractor::buildRequest(
    const VellupStructuredFormatterConfiguration &configuration, const QString &transcript) {
    if (textkit::isBlank(configuration.model))
        throw Error::invalidRequest();

    using Envelope = ChatCompletionsEnvelope;
    const QJsonArray messages{Envelope::message(QStringLiteral("system"), systemPrompt()),
                              Envelope::message(QStringLiteral("user"), transcript)};
    return Envelope::buildRequest(
        configuration, Envelope::buildBody(configuration.model, messages, 0.0, maxAnswerTokens));
}

QString VellupHistoryTermExtractor::extractAssistantContent(QByteArrayView body) {
    QJsonParseError parseError{};
    const QJsonDocument document = json::parse(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw JsonReplyParseError(parseError.errorString() + QStringLiteral(" (offset ") +
                                  QString::number(parseError.offset) + u')');
    }
    const QJsonValue choices = document.object().value(u"choices");
    if (!document.isObject() || !isArrayOfObjects(choices) || choices.toArray().isEmpty())
        throw Error::invalidResponse();
    const QJsonValue message = choices.toArray().first().toObject().value(u"message");
    if (!message.isObject())
        throw Error::invalidResponse();

    const QJsonValue content = message.toObject().value(u"content");
    QString text;
    if (content.isString()) {
        text = content.toString();
    } else if (isArrayOfObjects(content)) {
        // Parts without text (images and the like) are skipped.
        for (const QJsonValue &part : content.toArray()) {
            if (const QJsonValue partText = part.toObject().value(u"text"); partText.isString())
                text += partText.toString();
        }
    } else {
        throw Error::invalidResponse();
    }
    text = textkit::trimmed(text);
    if (text.isEmpty())
        throw Error::emptyContent();
    return text;
}

QStringList VellupHistoryTermExtractor::parseTerms(QStringView content) {
    const auto terms = decodeTerms(extractJSONObjectString(content));
    if (!terms)
        throw Error::invalidJSON();

    QStringList accepted;
    QSet<QString> seenKeys;
    for (const QString &term : *terms) {
        // The history rules without the English filler list: the model
        // already leaves sentence-initial words out.
        const auto cleaned = LexiconTermValidator::historyLearnableHotword(term);
        if (!cleaned || HistoryFrequencyLexiconLearner::isGenericNoun(*cleaned))
            continue;
        const QString key = PersonalLexiconEntry::normalizedValue(*cleaned);
        if (seenKeys.contains(key))
            continue;
        seenKeys.insert(key);
        accepted.append(*cleaned);
        if (accepted.size() == maximumTerms)
            break;
    }
    return accepted;
}

QString VellupHistoryTermExtractor::extractJSONObjectString(QStringView content) {
    const qsizetype first = content.indexOf(u'{');
    const qsizetype last = content.lastIndexOf(u'}');
    if (first < 0 || last <= first)
        return content.toString();
    return content.mid(first, last - first + 1).toString();
}

} // namespace tovalit
