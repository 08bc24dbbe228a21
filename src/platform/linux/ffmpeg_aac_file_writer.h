#pragma once

#include "platform/aac_file_writer.h"
#include "platform/pcm_converter.h"

#include <memory>

namespace tovalit {

// Writes AAC into a fragmented ".m4a" (the "ipod" flavour of MP4, one
// fragment a second) with libavcodec's
// native encoder. Buffers are converted to the encoder's planar float and
// queued until a whole 1024-sample frame is there; the last, shorter frame
// is encoded at close().
class FfmpegAacFileWriter : public AacFileWriter {
public:
    FfmpegAacFileWriter(const QString &path, const AacFileSettings &settings,
                        const PcmFormat &processingFormat);
    ~FfmpegAacFileWriter() override;

    const PcmFormat &processingFormat() const override { return m_processingFormat; }
    void write(const PcmBuffer &buffer) override;
    void close() override;

private:
    struct Encoder;
    void encodeQueuedFrames(bool includingPartialFrame);
    void sendFrame(bool flush);

    QString m_path;
    PcmFormat m_processingFormat;
    PcmConverter m_converter;
    std::unique_ptr<Encoder> m_encoder;
    bool m_closed = false;
};

} // namespace tovalit
