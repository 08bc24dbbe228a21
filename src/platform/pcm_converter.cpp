#include "platform/pcm_converter.h"

#include "platform/audio_file_error.h"
#include "platform/linux/ffmpeg_support.h"

#include <cmath>
#include <stdexcept>

extern "C" {
#include <libswresample/swresample.h>
}

namespace tovalit {

struct PcmConverter::Resampler {
    SwrContext *context = nullptr;
    ~Resampler() { swr_free(&context); }
};

namespace {

[[noreturn]] void fail(const QString &detail) {
    throw AudioFileError(AudioFileError::Kind::ConversionFailed, detail);
}

} // namespace

PcmConverter::PcmConverter(const PcmFormat &from, const PcmFormat &to)
    : m_from(from)
    , m_to(to)
    , m_resampler(std::make_unique<Resampler>()) {
    if (!from.isValid() || !to.isValid())
        fail(QStringLiteral("unsupported PCM format"));
    AVChannelLayout inLayout = ffmpeg::defaultLayout(from.channelCount);
    AVChannelLayout outLayout = ffmpeg::defaultLayout(to.channelCount);
    int status =
        swr_alloc_set_opts2(&m_resampler->context, &outLayout, ffmpeg::sampleFormat(to),
                            int(std::lround(to.sampleRate)), &inLayout, ffmpeg::sampleFormat(from),
                            int(std::lround(from.sampleRate)), 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (status < 0)
        fail(ffmpeg::errorText(status));
    status = swr_init(m_resampler->context);
    if (status < 0)
        fail(ffmpeg::errorText(status));
}

PcmConverter::~PcmConverter() = default;
PcmConverter::PcmConverter(PcmConverter &&other) noexcept = default;
PcmConverter &PcmConverter::operator=(PcmConverter &&other) noexcept = default;

PcmBuffer PcmConverter::convert(const PcmBuffer &input) {
    if (!(input.format() == m_from))
        throw std::invalid_argument("PcmConverter: buffer format differs from the stream's");
    std::vector<const std::byte *> buffers;
    for (int index = 0; index < input.bufferCount(); ++index)
        buffers.push_back(input.data(index));
    return run(buffers.data(), input.frameLength());
}

PcmBuffer PcmConverter::convert(const std::byte *const *buffers, int frameCount) {
    return run(buffers, frameCount);
}

PcmBuffer PcmConverter::flush() {
    return run(nullptr, 0);
}

PcmBuffer PcmConverter::run(const std::byte *const *buffers, int frameCount) {
    SwrContext *context = m_resampler->context;
    const int capacity = swr_get_out_samples(context, frameCount);
    if (capacity < 0)
        fail(ffmpeg::errorText(capacity));
    PcmBuffer output(m_to, capacity);
    if (capacity == 0 && frameCount == 0)
        return output;
    std::vector<uint8_t *> outputs;
    for (int index = 0; index < output.bufferCount(); ++index)
        outputs.push_back(reinterpret_cast<uint8_t *>(output.data(index)));
    const int converted = swr_convert(
        context, outputs.data(), capacity,
        reinterpret_cast<const uint8_t **>(const_cast<const std::byte **>(buffers)), frameCount);
    if (converted < 0)
        fail(ffmpeg::errorText(converted));
    output.setFrameLength(converted);
    return output;
}

} // namespace tovalit
