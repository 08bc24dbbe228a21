// Reading a model's answer back into text. Pure text processing; see the
// header for the order in which the readers are tried.

#include "services/text_processing/structured_transcript_payload.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "support/json_text.h"
#include "support/regex.h"
#include "support/textkit.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tovalit {

using textkit::Regex;

namespace {

QString withoutThinkMarkers(QStringView text) {
    // Only the markers go: some models put the answer itself between them.
    QString result = text.toString();
    result.remove(QStringLiteral("</think>"));
    result.remove(QStringLiteral("<think>"));
    return result;
}

QString withoutCodeFences(QStringView text) {
    static const Regex openingJsonFence(uR"re(^```json\s*)re");
    static const Regex openingFence(uR"re(^```\s*)re");
    static const Regex closingFence(uR"re(\s*```$)re");
    QString result = openingJsonFence.replaceAllLiteral(text, u"");
    result = openingFence.replaceAllLiteral(result, u"");
    return closingFence.replaceAllLiteral(result, u"");
}

bool looksLikeJson(QStringView text) {
    return text.startsWith(u'{') || text.startsWith(u'[');
}

// A JSON string literal's body (without its quotes) with its escapes
// resolved, or nothing when it is not a valid literal.
std::optional<QString> decodeJsonStringBody(QStringView body) {
    // The JSON reader takes only objects and arrays at the top level.
    const QByteArray wrapped = "[\"" + body.toUtf8() + "\"]";
    QJsonParseError error{};
    const QJsonDocument document = json::parse(wrapped, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray array = document.array();
    if (array.size() != 1 || !array.first().isString())
        return std::nullopt;
    return array.first().toString();
}

std::optional<QString> renderedPayloadText(QStringView json) {
    const auto payload = StructuredTranscriptPayload::decode(json.toUtf8());
    if (!payload)
        return std::nullopt;
    QString text = payload->renderedText();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

} // namespace

QString VellupStructuredFormatter::renderStructuredContent(QStringView content,
                                                           QStringView fallbackTranscript) {
    const std::vector<QString> candidates = extractJSONCandidates(content);
    if (!candidates.empty()) {
        // Models that think aloud or correct themselves put the final answer
        // last.
        for (auto candidate = candidates.rbegin(); candidate != candidates.rend(); ++candidate) {
            if (auto text = renderedPayloadText(*candidate))
                return *text;
        }
    } else if (auto text = renderedPayloadText(extractJSONText(content))) {
        return *text;
    }
    if (auto text = extractLooseTextField(content))
        return *text;
    if (auto text = extractPlainTextFallback(content))
        return *text;
    QString fallback = textkit::trimmed(fallbackTranscript);
    if (fallback.isEmpty())
        throw VellupStructuredFormatterError::emptyStructuredResult();
    return fallback;
}

std::vector<QString> VellupStructuredFormatter::extractJSONCandidates(QStringView text) {
    const QString cleaned = textkit::trimmed(withoutThinkMarkers(text));
    std::vector<QString> candidates;
    if (cleaned.isEmpty())
        return candidates;

    // One pass over user-perceived characters: a brace or quote that carries
    // a combining mark is not a brace or quote.
    const std::vector<qsizetype> boundaries = textkit::graphemeBoundaries(cleaned);
    bool insideString = false;
    bool escaping = false;
    int depth = 0;
    qsizetype start = 0;
    for (size_t index = 0; index + 1 < boundaries.size(); ++index) {
        const qsizetype from = boundaries[index];
        const qsizetype to = boundaries[index + 1];
        const QStringView character = QStringView(cleaned).sliced(from, to - from);
        if (escaping) {
            escaping = false;
            continue;
        }
        if (character == u"\\") {
            escaping = insideString;
            continue;
        }
        if (character == u"\"") {
            insideString = !insideString;
            continue;
        }
        if (insideString)
            continue;
        if (character == u"{") {
            if (depth == 0)
                start = from;
            ++depth;
        } else if (character == u"}" && depth > 0) {
            if (--depth == 0)
                candidates.push_back(cleaned.sliced(start, to - start));
        }
    }
    return candidates;
}

QString VellupStructuredFormatter::extractJSONText(QStringView text) {
    const QString cleaned = textkit::trimmed(withoutCodeFences(textkit::trimmed(text)));
    if (looksLikeJson(cleaned))
        return cleaned;
    const qsizetype first = cleaned.indexOf(u'{');
    const qsizetype last = cleaned.lastIndexOf(u'}');
    // A closing brace before the first opening one leaves nothing to cut.
    if (first < 0 || last < first)
        return cleaned;
    return cleaned.sliced(first, last - first + 1);
}

std::optional<QString> VellupStructuredFormatter::extractLooseTextField(QStringView text) {
    static const Regex looseTextField(uR"re("text"\s*:\s*"((?:\\.|[^"\\])*)")re");
    const QString cleaned = withoutThinkMarkers(text);
    const auto match = looseTextField.firstMatch(cleaned);
    if (!match)
        return std::nullopt;
    const auto value = decodeJsonStringBody(match->captured(cleaned, 1));
    if (!value)
        return std::nullopt;
    QString result = textkit::trimmed(*value);
    if (result.isEmpty())
        return std::nullopt;
    return result;
}

std::optional<QString> VellupStructuredFormatter::extractPlainTextFallback(QStringView text) {
    const QString cleaned =
        textkit::trimmed(withoutCodeFences(withoutThinkMarkers(textkit::trimmed(text))));
    if (cleaned.isEmpty() || looksLikeJson(cleaned))
        return std::nullopt;
    // A "text" member that the readers above could not take is broken JSON,
    // not prose: better the transcript than a fragment of markup.
    if (cleaned.contains(QStringLiteral("\"text\":")) ||
        cleaned.contains(QStringLiteral("\"text\" :")))
        return std::nullopt;
    return cleaned;
}

} // namespace tovalit
