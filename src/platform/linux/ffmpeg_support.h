#pragma once

#include "platform/pcm_buffer.h"

#include <QString>

#include <optional>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

// Small bridges between the application's PCM description and FFmpeg's.
namespace tovalit::ffmpeg {

// FFmpeg's text for an error code.
QString errorText(int code);

// Keeps FFmpeg's own chatter (encoder statistics at every close) out of the
// application's output; its errors reach callers as exceptions.
void quietenLogging();

// The sample format FFmpeg calls `format`'s sample type and layout;
// AV_SAMPLE_FMT_NONE for PcmSampleType::Other.
AVSampleFormat sampleFormat(const PcmFormat &format);

// Our sample type and layout for an FFmpeg sample format; nothing for
// formats the application does not process (unsigned 8-bit, 64-bit ints).
std::optional<PcmFormat> pcmFormat(AVSampleFormat sampleFormat, int sampleRate, int channels);

// The default layout for a channel count (mono, stereo, 5.1 ...).
AVChannelLayout defaultLayout(int channels);

} // namespace tovalit::ffmpeg
