#pragma once

#include "platform/pcm_buffer.h"

#include <QString>

#include <memory>

namespace tovalit {

// Decodes an audio file (any container and codec FFmpeg reads: the ".m4a"
// recordings in practice) block by block into 32-bit float planar PCM at
// the file's own rate and channel count.
class AudioFileReader {
public:
    // Opens the file's best audio stream. Throws AudioFileError (OpenFailed)
    // when the file cannot be opened or holds no decodable audio.
    explicit AudioFileReader(const QString &path);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader &) = delete;
    AudioFileReader &operator=(const AudioFileReader &) = delete;

    const PcmFormat &processingFormat() const { return m_format; }

    // The next at most `maxFrames` frames; a buffer of length 0 once the
    // file is exhausted. Throws AudioFileError (ReadFailed) on a decoding
    // error.
    PcmBuffer read(int maxFrames);

private:
    struct Decoder;
    bool decodeMore();

    QString m_path;
    PcmFormat m_format;
    std::unique_ptr<Decoder> m_decoder;
};

} // namespace tovalit
