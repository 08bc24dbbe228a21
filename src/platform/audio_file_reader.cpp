#include "platform/audio_file_reader.h"

#include "platform/audio_file_error.h"
#include "platform/linux/ffmpeg_support.h"
#include "platform/pcm_converter.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tovalit {

struct AudioFileReader::Decoder {
    AVFormatContext *container = nullptr;
    AVCodecContext *codec = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    int streamIndex = -1;
    bool demuxerDone = false;
    bool decoderDone = false;
    // Converts whatever the decoder produces into the processing format;
    // made for the first frame and again whenever the decoder's format
    // changes mid-stream.
    std::optional<PcmConverter> converter;
    // Decoded audio not yet handed out, one queue per channel.
    std::vector<std::deque<float>> pending;

    ~Decoder() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&container);
    }
};

namespace {

[[noreturn]] void failOpening(const QString &path, const QString &detail) {
    throw AudioFileError(AudioFileError::Kind::OpenFailed, path + u' ' + detail);
}

[[noreturn]] void failReading(int code) {
    throw AudioFileError(AudioFileError::Kind::ReadFailed, ffmpeg::errorText(code));
}

} // namespace

AudioFileReader::AudioFileReader(const QString &path)
    : m_path(path)
    , m_decoder(std::make_unique<Decoder>()) {
    Decoder &d = *m_decoder;
    ffmpeg::quietenLogging();
    const QByteArray localPath = QFile::encodeName(path);
    int status = avformat_open_input(&d.container, localPath.constData(), nullptr, nullptr);
    if (status < 0)
        failOpening(path, ffmpeg::errorText(status));
    status = avformat_find_stream_info(d.container, nullptr);
    if (status < 0)
        failOpening(path, ffmpeg::errorText(status));
    const AVCodec *codec = nullptr;
    d.streamIndex = av_find_best_stream(d.container, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (d.streamIndex < 0 || !codec)
        failOpening(path, QStringLiteral("no audio stream"));
    d.codec = avcodec_alloc_context3(codec);
    if (!d.codec)
        failOpening(path, QStringLiteral("out of memory"));
    status = avcodec_parameters_to_context(d.codec, d.container->streams[d.streamIndex]->codecpar);
    if (status >= 0)
        status = avcodec_open2(d.codec, codec, nullptr);
    if (status < 0)
        failOpening(path, ffmpeg::errorText(status));
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (!d.packet || !d.frame)
        failOpening(path, QStringLiteral("out of memory"));

    const int channels = d.codec->ch_layout.nb_channels;
    if (d.codec->sample_rate <= 0 || channels <= 0)
        failOpening(path, QStringLiteral("no sample rate or channels"));
    m_format = {double(d.codec->sample_rate), channels, PcmSampleType::Float32, false};
    d.pending.resize(size_t(channels));
}

AudioFileReader::~AudioFileReader() = default;

PcmBuffer AudioFileReader::read(int maxFrames) {
    Decoder &d = *m_decoder;
    maxFrames = std::max(maxFrames, 0);
    while (d.pending.front().size() < size_t(maxFrames) && decodeMore()) {
    }
    const int frames = int(std::min(d.pending.front().size(), size_t(maxFrames)));
    PcmBuffer buffer(m_format, frames);
    buffer.setFrameLength(frames);
    for (int channel = 0; channel < m_format.channelCount; ++channel) {
        auto &queue = d.pending[size_t(channel)];
        std::copy_n(queue.begin(), frames, buffer.samples<float>(channel).begin());
        queue.erase(queue.begin(), queue.begin() + frames);
    }
    return buffer;
}

// Decodes one more frame into the pending queues; false once the stream
// is exhausted.
bool AudioFileReader::decodeMore() {
    Decoder &d = *m_decoder;
    while (!d.decoderDone) {
        int status = avcodec_receive_frame(d.codec, d.frame);
        if (status == 0) {
            const auto source =
                ffmpeg::pcmFormat(AVSampleFormat(d.frame->format), d.frame->sample_rate,
                                  d.frame->ch_layout.nb_channels);
            if (!source)
                failReading(AVERROR_PATCHWELCOME);
            // The processing format keeps the rate and channels the file
            // started with; a stream that changes them mid-way is converted.
            if (!d.converter || !(d.converter->inputFormat() == *source))
                d.converter.emplace(*source, m_format);
            std::vector<const std::byte *> planes;
            for (int index = 0; index < source->bufferCount(); ++index)
                planes.push_back(
                    reinterpret_cast<const std::byte *>(d.frame->extended_data[index]));
            const PcmBuffer converted = d.converter->convert(planes.data(), d.frame->nb_samples);
            av_frame_unref(d.frame);
            for (int channel = 0; channel < m_format.channelCount; ++channel) {
                const auto samples = converted.samples<float>(channel);
                d.pending[size_t(channel)].insert(d.pending[size_t(channel)].end(), samples.begin(),
                                                  samples.end());
            }
            return true;
        }
        if (status == AVERROR_EOF) {
            d.decoderDone = true;
            break;
        }
        if (status != AVERROR(EAGAIN))
            failReading(status);
        if (d.demuxerDone)
            failReading(AVERROR_BUG);
        status = av_read_frame(d.container, d.packet);
        if (status == AVERROR_EOF) {
            d.demuxerDone = true;
            status = avcodec_send_packet(d.codec, nullptr);
        } else if (status < 0) {
            failReading(status);
        } else {
            if (d.packet->stream_index == d.streamIndex)
                status = avcodec_send_packet(d.codec, d.packet);
            av_packet_unref(d.packet);
        }
        if (status < 0 && status != AVERROR(EAGAIN) && status != AVERROR_EOF)
            failReading(status);
    }
    if (d.converter) {
        const PcmBuffer tail = d.converter->flush();
        d.converter.reset();
        for (int channel = 0; channel < m_format.channelCount; ++channel) {
            const auto samples = tail.samples<float>(channel);
            d.pending[size_t(channel)].insert(d.pending[size_t(channel)].end(), samples.begin(),
                                              samples.end());
        }
        return tail.frameLength() > 0;
    }
    return false;
}

} // namespace tovalit
