#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tovalit {

// The one object the natural-mode and meeting-tick prompts ask for:
// {"text": "..."}. Other members are ignored.
struct StructuredTranscriptPayload {
    QString text;

    // Nothing unless `json` is an object whose "text" member is a string.
    static std::optional<StructuredTranscriptPayload> decode(QByteArrayView json);

    // The text without surrounding white space and line breaks.
    QString renderedText() const;

    bool operator==(const StructuredTranscriptPayload &) const = default;
};

} // namespace tovalit
