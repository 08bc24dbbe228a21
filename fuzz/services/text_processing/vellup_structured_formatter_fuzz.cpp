// The structured answer of natural-mode formatting and meeting ticks, from
// the reply body to the text that is delivered: envelope, JSON candidates,
// loose "text" field, prose fallback. Whatever comes out is never blank,
// and a plain {"text": …} answer holding it renders to it again.

#include "fuzz_checks.h"
#include "services/text_processing/structured_transcript_payload.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/json_text.h"
#include "support/textkit.h"

#include <QJsonObject>

#include <fuzzer/FuzzedDataProvider.h>

using namespace tovalit;

namespace {

void checkRendering(const QString &content, const QString &fallback) {
    for (const QString &candidate : VellupStructuredFormatter::extractJSONCandidates(content)) {
        fuzz::requireValidUtf16(candidate, "JSON candidate");
        FUZZ_CHECK(candidate.startsWith(u'{') && candidate.endsWith(u'}'));
    }
    fuzz::requireValidUtf16(VellupStructuredFormatter::extractJSONText(content), "JSON text");
    fuzz::requireValidUtf16(VellupStructuredFormatter::extractLooseTextField(content),
                            "loose text field");
    fuzz::requireValidUtf16(VellupStructuredFormatter::extractPlainTextFallback(content),
                            "plain text");

    QString rendered;
    try {
        rendered = VellupStructuredFormatter::renderStructuredContent(content, fallback);
    } catch (const VellupStructuredFormatterError &error) {
        FUZZ_CHECK(error.kind() == VellupStructuredFormatterError::Kind::emptyStructuredResult);
        FUZZ_CHECK(textkit::isBlank(fallback));
        return;
    }
    fuzz::requireValidUtf16(rendered, "rendered text");
    FUZZ_CHECK(!textkit::isBlank(rendered));
    // Think tags are taken out of every answer before it is read, so a text
    // holding one cannot come back whole; any other text does.
    if (rendered.contains(u"<think>") || rendered.contains(u"</think>"))
        return;
    const QString plain =
        QString::fromUtf8(json::compact(QJsonObject{{QStringLiteral("text"), rendered}}));
    FUZZ_CHECK_TEXT(VellupStructuredFormatter::renderStructuredContent(plain, fallback) == rendered,
                    plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QString fallback = QString::fromStdString(input.ConsumeRandomLengthString(32));
    const QByteArray body = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    if (const auto payload = StructuredTranscriptPayload::decode(body)) {
        fuzz::requireValidUtf16(payload->text, "payload text");
        fuzz::requireValidUtf16(payload->renderedText(), "payload rendered text");
    }

    // The body as the assistant's whole answer, and as a reply envelope.
    checkRendering(QString::fromUtf8(body), fallback);
    QString content;
    try {
        content = VellupStructuredFormatter::extractAssistantContent(body);
    } catch (const AppError &) {
        return 0; // not JSON, no content, empty content: the formatter's errors
    }
    fuzz::requireValidUtf16(content, "assistant content");
    checkRendering(content, fallback);
    return 0;
}
