#include "services/text_processing/structured_transcript_payload.h"

#include "support/json_text.h"
#include "support/textkit.h"

namespace tovalit {

std::optional<StructuredTranscriptPayload>
StructuredTranscriptPayload::decode(QByteArrayView json) {
    const auto object = json::parseObject(json);
    if (!object)
        return std::nullopt;
    auto text = json::string(*object, u"text");
    if (!text)
        return std::nullopt;
    return StructuredTranscriptPayload{std::move(*text)};
}

QString StructuredTranscriptPayload::renderedText() const {
    return textkit::trimmed(text);
}

} // namespace tovalit
