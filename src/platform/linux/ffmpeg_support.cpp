#include "platform/linux/ffmpeg_support.h"

#include <mutex>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace tovalit::ffmpeg {

QString errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

void quietenLogging() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

AVSampleFormat sampleFormat(const PcmFormat &format) {
    const bool planar = !format.interleaved && format.channelCount > 1;
    switch (format.sampleType) {
    case PcmSampleType::Float32:
        return planar ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_FLT;
    case PcmSampleType::Float64:
        return planar ? AV_SAMPLE_FMT_DBLP : AV_SAMPLE_FMT_DBL;
    case PcmSampleType::Int16:
        return planar ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_S16;
    case PcmSampleType::Int32:
        return planar ? AV_SAMPLE_FMT_S32P : AV_SAMPLE_FMT_S32;
    case PcmSampleType::Other:
        return AV_SAMPLE_FMT_NONE;
    }
    return AV_SAMPLE_FMT_NONE;
}

std::optional<PcmFormat> pcmFormat(AVSampleFormat sampleFormat, int sampleRate, int channels) {
    PcmFormat format;
    format.sampleRate = sampleRate;
    format.channelCount = channels;
    format.interleaved = !av_sample_fmt_is_planar(sampleFormat);
    switch (av_get_packed_sample_fmt(sampleFormat)) {
    case AV_SAMPLE_FMT_FLT:
        format.sampleType = PcmSampleType::Float32;
        break;
    case AV_SAMPLE_FMT_DBL:
        format.sampleType = PcmSampleType::Float64;
        break;
    case AV_SAMPLE_FMT_S16:
        format.sampleType = PcmSampleType::Int16;
        break;
    case AV_SAMPLE_FMT_S32:
        format.sampleType = PcmSampleType::Int32;
        break;
    default:
        return std::nullopt;
    }
    if (!format.isValid())
        return std::nullopt;
    return format;
}

AVChannelLayout defaultLayout(int channels) {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    return layout;
}

} // namespace tovalit::ffmpeg
