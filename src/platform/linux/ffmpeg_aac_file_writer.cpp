#include "platform/linux/ffmpeg_aac_file_writer.h"

#include "platform/audio_file_error.h"
#include "platform/linux/ffmpeg_support.h"

#include <QFile>

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
}

namespace tovalit {

struct FfmpegAacFileWriter::Encoder {
    AVFormatContext *container = nullptr;
    AVCodecContext *codec = nullptr;
    AVStream *stream = nullptr;
    AVAudioFifo *fifo = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    int64_t nextPts = 0;

    ~Encoder() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        if (fifo)
            av_audio_fifo_free(fifo);
        avcodec_free_context(&codec);
        if (container) {
            if (container->pb)
                avio_closep(&container->pb);
            avformat_free_context(container);
        }
    }
};

namespace {

[[noreturn]] void failCreating(const QString &path, const QString &detail) {
    throw AudioFileError(AudioFileError::Kind::CreateFailed, path + u' ' + detail);
}

[[noreturn]] void failWriting(int code) {
    throw AudioFileError(AudioFileError::Kind::WriteFailed, ffmpeg::errorText(code));
}

// The bit rate asked of the encoder: the one requested, but at most three
// bits a sample and channel. The encoder steers a quality factor towards
// the bits its target allows; where the audio cannot fill them, the factor
// climbs to its limit and every frame's quantiser search grows slow. At
// 16 kHz, 96 kb/s is 6144 bits per frame and channel, the most an AAC frame
// can hold and far more than speech fills, which made a 16 kHz recording
// cost twice the encoding time of a 48 kHz one. From 32 kHz up the cap lies
// at or above 96 kb/s and changes nothing.
int encoderBitRate(const AacFileSettings &settings) {
    const double cap = 3.0 * settings.sampleRate * std::max(settings.channelCount, 1);
    return int(std::min(double(settings.bitRate), cap));
}

PcmFormat encoderFormat(const AacFileSettings &settings) {
    return {settings.sampleRate, settings.channelCount, PcmSampleType::Float32, false};
}

} // namespace

FfmpegAacFileWriter::FfmpegAacFileWriter(const QString &path, const AacFileSettings &settings,
                                         const PcmFormat &processingFormat)
    : m_path(path)
    , m_processingFormat(processingFormat)
    , m_converter(processingFormat, encoderFormat(settings))
    , m_encoder(std::make_unique<Encoder>()) {
    Encoder &e = *m_encoder;
    const int sampleRate = int(std::lround(settings.sampleRate));
    ffmpeg::quietenLogging();
    const QByteArray localPath = QFile::encodeName(path);

    int status =
        avformat_alloc_output_context2(&e.container, nullptr, "ipod", localPath.constData());
    if (status < 0)
        failCreating(path, ffmpeg::errorText(status));
    const AVCodec *aac = avcodec_find_encoder_by_name("aac");
    if (!aac)
        failCreating(path, QStringLiteral("no AAC encoder"));
    e.codec = avcodec_alloc_context3(aac);
    if (!e.codec)
        failCreating(path, QStringLiteral("out of memory"));
    e.codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    e.codec->sample_rate = sampleRate;
    e.codec->ch_layout = ffmpeg::defaultLayout(settings.channelCount);
    e.codec->bit_rate = encoderBitRate(settings);
    e.codec->time_base = AVRational{1, sampleRate};
    if (e.container->oformat->flags & AVFMT_GLOBALHEADER)
        e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The encoder's default quantiser search (two loops over every band of
    // every frame) took about two fifths of the capture thread's time on
    // real speech, four times what the fast search takes; the bit rate
    // and the container stay the same.
    AVDictionary *codecOptions = nullptr;
    av_dict_set(&codecOptions, "aac_coder", "fast", 0);
    status = avcodec_open2(e.codec, aac, &codecOptions);
    av_dict_free(&codecOptions);
    if (status < 0)
        failCreating(path, ffmpeg::errorText(status));

    e.stream = avformat_new_stream(e.container, nullptr);
    if (!e.stream)
        failCreating(path, QStringLiteral("out of memory"));
    e.stream->time_base = e.codec->time_base;
    status = avcodec_parameters_from_context(e.stream->codecpar, e.codec);
    if (status < 0)
        failCreating(path, ffmpeg::errorText(status));

    e.fifo =
        av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, settings.channelCount, e.codec->frame_size * 2);
    e.frame = av_frame_alloc();
    e.packet = av_packet_alloc();
    if (!e.fifo || !e.frame || !e.packet)
        failCreating(path, QStringLiteral("out of memory"));
    e.frame->nb_samples = e.codec->frame_size;
    e.frame->format = AV_SAMPLE_FMT_FLTP;
    e.frame->sample_rate = sampleRate;
    av_channel_layout_copy(&e.frame->ch_layout, &e.codec->ch_layout);
    status = av_frame_get_buffer(e.frame, 0);
    if (status < 0)
        failCreating(path, ffmpeg::errorText(status));

    status = avio_open(&e.container->pb, localPath.constData(), AVIO_FLAG_WRITE);
    if (status < 0)
        failCreating(path, ffmpeg::errorText(status));
    // Fragmented MP4: an empty index up front and then one self-contained
    // fragment (its own index and audio) per second, each handed to the
    // system whole. A crash or a kill then costs at most the last second;
    // a plain MP4 is unreadable until its index is written at the end.
    // Players and FFmpeg read both the same way. (No fsync from the
    // capture thread: after a power cut, what the system had not written
    // out yet is lost, but the rest stays readable.)
    AVDictionary *options = nullptr;
    av_dict_set(&options, "movflags", "empty_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", "1000000", 0);
    e.container->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    status = avformat_write_header(e.container, &options);
    av_dict_free(&options);
    if (status < 0) {
        m_encoder.reset();
        QFile::remove(path);
        failCreating(path, ffmpeg::errorText(status));
    }
}

FfmpegAacFileWriter::~FfmpegAacFileWriter() {
    try {
        close();
    } catch (const AudioFileError &) {
        // Nobody is left to tell; the file stays as far as it got.
    }
}

void FfmpegAacFileWriter::write(const PcmBuffer &buffer) {
    if (m_closed)
        throw AudioFileError(AudioFileError::Kind::WriteFailed, QStringLiteral("file is closed"));
    const PcmBuffer converted = m_converter.convert(buffer);
    if (converted.frameLength() == 0)
        return;
    std::vector<void *> planes;
    for (int index = 0; index < converted.bufferCount(); ++index)
        planes.push_back(const_cast<std::byte *>(converted.data(index)));
    const int queued = av_audio_fifo_write(m_encoder->fifo, planes.data(), converted.frameLength());
    if (queued < 0)
        failWriting(queued);
    encodeQueuedFrames(false);
}

void FfmpegAacFileWriter::close() {
    if (m_closed)
        return;
    m_closed = true;
    const PcmBuffer tail = m_converter.flush();
    if (tail.frameLength() > 0) {
        std::vector<void *> planes;
        for (int index = 0; index < tail.bufferCount(); ++index)
            planes.push_back(const_cast<std::byte *>(tail.data(index)));
        av_audio_fifo_write(m_encoder->fifo, planes.data(), tail.frameLength());
    }
    encodeQueuedFrames(true);
    sendFrame(true);
    Encoder &e = *m_encoder;
    const int trailer = av_write_trailer(e.container);
    const int closed = avio_closep(&e.container->pb);
    if (trailer < 0)
        failWriting(trailer);
    if (closed < 0)
        failWriting(closed);
}

void FfmpegAacFileWriter::encodeQueuedFrames(bool includingPartialFrame) {
    Encoder &e = *m_encoder;
    const int frameSize = e.codec->frame_size;
    for (;;) {
        const int queued = av_audio_fifo_size(e.fifo);
        if (queued == 0 || (queued < frameSize && !includingPartialFrame))
            return;
        int status = av_frame_make_writable(e.frame);
        if (status < 0)
            failWriting(status);
        const int frames = std::min(queued, frameSize);
        e.frame->nb_samples = frames;
        status = av_audio_fifo_read(e.fifo, reinterpret_cast<void **>(e.frame->data), frames);
        if (status < 0)
            failWriting(status);
        e.frame->pts = e.nextPts;
        e.nextPts += frames;
        sendFrame(false);
    }
}

void FfmpegAacFileWriter::sendFrame(bool flush) {
    Encoder &e = *m_encoder;
    int status = avcodec_send_frame(e.codec, flush ? nullptr : e.frame);
    if (status < 0)
        failWriting(status);
    for (;;) {
        status = avcodec_receive_packet(e.codec, e.packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
            return;
        if (status < 0)
            failWriting(status);
        av_packet_rescale_ts(e.packet, e.codec->time_base, e.stream->time_base);
        e.packet->stream_index = e.stream->index;
        status = av_interleaved_write_frame(e.container, e.packet);
        if (status < 0)
            failWriting(status);
    }
}

AacFileWriterFactory ffmpegAacFileWriterFactory() {
    return [](const QString &path, const AacFileSettings &settings,
              const PcmFormat &processingFormat) -> std::unique_ptr<AacFileWriter> {
        return std::make_unique<FfmpegAacFileWriter>(path, settings, processingFormat);
    };
}

} // namespace tovalit
