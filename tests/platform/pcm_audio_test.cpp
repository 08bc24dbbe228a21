#include "platform/audio_file_error.h"
#include "platform/audio_file_reader.h"
#include "platform/linux/ffmpeg_aac_file_writer.h"
#include "platform/pcm_converter.h"
#include "tests/support/pcm_signals.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <gtest/gtest.h>

using namespace tovalit;
using namespace tovalit::testing;

namespace {

TEST(PcmBufferSnapshot, CopiesOwnTheirSamples) {
    for (const PcmFormat &format : {PcmFormat{48000, 2, PcmSampleType::Float32, false},
                                    PcmFormat{16000, 2, PcmSampleType::Int16, true}}) {
        PcmBuffer source = sineBuffer(format, 700, 440, 0.5);
        PcmBuffer roomy(format, 1024);
        roomy.setFrameLength(700);
        for (int index = 0; index < source.bufferCount(); ++index)
            std::memcpy(roomy.data(index), source.data(index), size_t(source.byteSize(index)));

        const auto copy = PCMBufferSnapshot::makeOwnedCopy(roomy);
        ASSERT_TRUE(copy);
        EXPECT_EQ(copy->format(), format);
        EXPECT_EQ(copy->frameCapacity(), 1024);
        EXPECT_EQ(copy->frameLength(), 700);
        ASSERT_EQ(copy->bufferCount(), roomy.bufferCount());
        for (int index = 0; index < roomy.bufferCount(); ++index) {
            ASSERT_EQ(copy->byteSize(index), roomy.byteSize(index));
            EXPECT_EQ(
                std::memcmp(copy->data(index), roomy.data(index), size_t(roomy.byteSize(index))),
                0);
            // The capture side reuses its buffer: the copy must not follow.
            std::memset(roomy.data(index), 0x5a, size_t(roomy.byteSize(index)));
            EXPECT_EQ(
                std::memcmp(copy->data(index), source.data(index), size_t(source.byteSize(index))),
                0);
        }
    }
    // An empty buffer copies to an empty buffer.
    const auto empty = PCMBufferSnapshot::makeOwnedCopy(PcmBuffer({8000, 1}, 0));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->frameLength(), 0);
}

// The largest jump between neighbouring samples of a 16-bit stream.
int largestStep(const std::vector<qint16> &samples) {
    int largest = 0;
    for (size_t index = 1; index < samples.size(); ++index)
        largest = std::max(largest, std::abs(int(samples[index]) - int(samples[index - 1])));
    return largest;
}

TEST(PcmConverter, ResamplesAStreamWithoutSeamsOrLostFrames) {
    const PcmFormat capture{48000, 2, PcmSampleType::Float32, true};
    const PcmFormat target{16000, 1, PcmSampleType::Int16, true};
    PcmConverter converter(capture, target);
    std::vector<qint16> output;
    const int buffers = 47;
    for (int index = 0; index < buffers; ++index) {
        const PcmBuffer converted =
            converter.convert(sineBuffer(capture, 1024, 300, 0.5, qint64(index) * 1024));
        const auto samples = converted.samples<qint16>(0);
        output.insert(output.end(), samples.begin(), samples.end());
    }
    const PcmBuffer tail = converter.flush();
    output.insert(output.end(), tail.samples<qint16>(0).begin(), tail.samples<qint16>(0).end());

    // A third of the frames, none lost at the buffer boundaries.
    EXPECT_NEAR(double(output.size()), buffers * 1024 / 3.0, 2);
    // One continuous 300 Hz sine: the steepest step of a 0.5 sine at 16 kHz
    // is 2π·300/16000·0.5 of full scale (about 1930); a seam (a filter
    // restarting from silence) would jump far more.
    EXPECT_LT(largestStep({output.begin() + 100, output.end() - 100}), 2200);
    // Both channels mixed to one keep the tone's level (within 1 dB).
    double peak = 0;
    for (qint16 sample : output)
        peak = std::max(peak, std::abs(double(sample)) / 32767);
    EXPECT_GT(peak, 0.44);

    EXPECT_THROW(converter.convert(constantBuffer(target, 10, 0)), std::invalid_argument);
    EXPECT_THROW(PcmConverter(PcmFormat{0, 1}, target), AudioFileError);
}

// What ffprobe says about one stream entry, as key=value lines.
QMap<QString, QString> probe(const QString &path) {
    QProcess ffprobe;
    ffprobe.start(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=codec_name,sample_rate,channels,bit_rate:format=format_name,"
                        "duration"),
         QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path});
    ffprobe.waitForFinished(20000);
    QMap<QString, QString> values;
    for (const QString &line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split(u'\n')) {
        const auto parts = line.split(u'=');
        if (parts.size() == 2)
            values.insert(parts[0], parts[1]);
    }
    return values;
}

TEST(AacFiles, WrittenBufferByBufferAndReadBackAtTheirOwnFormat) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("tone.m4a"));
    const PcmFormat capture{44100, 2, PcmSampleType::Int16, true};
    const int buffers = 130; // about three seconds
    {
        FfmpegAacFileWriter writer(path, {44100, 2, 96000}, capture);
        for (int index = 0; index < buffers; ++index)
            writer.write(sineBuffer(capture, 1024, 440, 0.4, qint64(index) * 1024));
        writer.close();
        writer.close(); // twice is harmless
        EXPECT_THROW(writer.write(constantBuffer(capture, 1024, 0)), AudioFileError);
    }

    const auto facts = probe(path);
    if (!facts.isEmpty()) {
        EXPECT_EQ(facts.value(QStringLiteral("codec_name")), QStringLiteral("aac"));
        EXPECT_EQ(facts.value(QStringLiteral("sample_rate")), QStringLiteral("44100"));
        EXPECT_EQ(facts.value(QStringLiteral("channels")), QStringLiteral("2"));
        EXPECT_TRUE(facts.value(QStringLiteral("format_name")).contains(QStringLiteral("m4a")));
    }

    AudioFileReader reader(path);
    EXPECT_EQ(reader.processingFormat(), (PcmFormat{44100, 2, PcmSampleType::Float32, false}));
    qint64 frames = 0;
    double sumOfSquares = 0;
    for (PcmBuffer block = reader.read(2048); block.frameLength() > 0; block = reader.read(2048)) {
        EXPECT_LE(block.frameLength(), 2048);
        frames += block.frameLength();
        for (float sample : block.samples<float>(1))
            sumOfSquares += double(sample) * sample;
    }
    // Every frame comes back (the encoder's priming is trimmed on reading),
    // and the tone keeps its level: RMS of a 0.4 sine is 0.28.
    EXPECT_NEAR(double(frames), buffers * 1024.0, 1024);
    EXPECT_NEAR(std::sqrt(sumOfSquares / double(frames)), 0.283, 0.03);
}

TEST(AacFiles, UnreadableAndUnwritablePathsFailWithTheirOwnErrors) {
    QTemporaryDir folder;
    const PcmFormat mono{16000, 1, PcmSampleType::Float32, true};
    try {
        FfmpegAacFileWriter writer(folder.filePath(QStringLiteral("missing/x.m4a")),
                                   {16000, 1, 96000}, mono);
        FAIL() << "created a file in a folder that does not exist";
    } catch (const AudioFileError &error) {
        EXPECT_EQ(error.kind(), AudioFileError::Kind::CreateFailed);
        EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("无法创建录音文件：")));
    }

    const QString garbage = folder.filePath(QStringLiteral("garbage.m4a"));
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not audio at all");
    file.close();
    for (const QString &path : {garbage, folder.filePath(QStringLiteral("absent.m4a"))}) {
        try {
            AudioFileReader reader(path);
            FAIL() << "opened " << path.toStdString();
        } catch (const AudioFileError &error) {
            EXPECT_EQ(error.kind(), AudioFileError::Kind::OpenFailed);
        }
    }
}

} // namespace
