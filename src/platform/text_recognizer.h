#pragma once

#include "platform/captured_image.h"

#include <QStringList>

#include <optional>

namespace tovalit {

// On-device recognition of Simplified Chinese and English text in an image.
class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;

    // The recognised lines, top to bottom (possibly none); nothing when
    // recognition failed or ran out of time.
    virtual std::optional<QStringList> recognizeLines(const CapturedImage &image) = 0;
    // Lets go of what recognition keeps loaded between uses (models can
    // weigh tens of megabytes); the next recognition loads it again.
    virtual void releaseResources() {}
};

} // namespace tovalit
