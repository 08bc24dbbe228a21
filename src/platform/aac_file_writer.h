#pragma once

#include "platform/pcm_buffer.h"

#include <QString>

#include <functional>
#include <memory>

namespace tovalit {

// What a recording file is made of: MPEG-4 AAC at this rate and channel
// count and this target bit rate.
struct AacFileSettings {
    double sampleRate = 0;
    int channelCount = 0;
    int bitRate = 0;

    bool operator==(const AacFileSettings &other) const = default;
};

// An ".m4a" file being written, buffer by buffer. It stays readable while
// it grows: should the process die, the file holds what was recorded up to
// about a second before. close() (or destroying the writer) adds the rest.
class AacFileWriter {
public:
    virtual ~AacFileWriter() = default;

    // The format buffers are handed over in.
    virtual const PcmFormat &processingFormat() const = 0;
    // Encodes one buffer in processingFormat(). Throws AudioFileError.
    virtual void write(const PcmBuffer &buffer) = 0;
    // Encodes what is still queued and finishes the file. Idempotent.
    // Throws AudioFileError when the file cannot be finished.
    virtual void close() = 0;
};

// Creates the file at `path`, accepting buffers in `processingFormat`.
// Throws AudioFileError when the file cannot be created.
using AacFileWriterFactory = std::function<std::unique_ptr<AacFileWriter>(
    const QString &path, const AacFileSettings &settings, const PcmFormat &processingFormat)>;

// FFmpeg's native AAC encoder in an MPEG-4 audio container.
AacFileWriterFactory ffmpegAacFileWriterFactory();

} // namespace tovalit
