#include "platform/audio_file_error.h"
#include "platform/audio_file_reader.h"
#include "platform/fake/fake_audio_input.h"
#include "services/capture/audio_capture_service.h"
#include "services/history/recording_hold.h"
#include "support/gui_thread.h"
#include "support/uuid_text.h"
#include "tests/support/pcm_signals.h"
#include "tests/support/run_task.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace tovalit;
using namespace tovalit::testing;

namespace {

const PcmFormat int16Mono{16000, 1, PcmSampleType::Int16, true};

// Records what it is given; can be told to fail every write.
class RecordingWriter : public AacFileWriter {
public:
    struct Log {
        std::mutex mutex;
        int buffers = 0;
        qint64 frames = 0;
        bool closed = false;
        bool failWrites = false;
    };

    RecordingWriter(PcmFormat format, std::shared_ptr<Log> log)
        : m_format(format)
        , m_log(std::move(log)) {}

    const PcmFormat &processingFormat() const override { return m_format; }
    void write(const PcmBuffer &buffer) override {
        std::lock_guard lock(m_log->mutex);
        if (m_log->failWrites)
            throw AudioFileError(AudioFileError::Kind::WriteFailed, QStringLiteral("disk full"));
        ++m_log->buffers;
        m_log->frames += buffer.frameLength();
    }
    void close() override {
        std::lock_guard lock(m_log->mutex);
        m_log->closed = true;
    }

private:
    PcmFormat m_format;
    std::shared_ptr<Log> m_log;
};

class AudioCaptureServiceTest : public ::testing::Test {
protected:
    AudioCaptureServiceTest() { EXPECT_TRUE(recordings.isValid()); }

    // A service over the fake input; the writer is FFmpeg's unless a
    // factory is given.
    std::unique_ptr<AudioCaptureService> makeService(AacFileWriterFactory factory = nullptr) {
        if (!factory)
            factory = ffmpegAacFileWriterFactory();
        auto service = std::make_unique<AudioCaptureService>(
            input, std::move(factory), [this] { return folderProvider(); },
            [this] { return now.load(); });
        service->setOnLevels([this](const QList<double> &levels) {
            levelsOnGuiThread = levelsOnGuiThread && isGuiThread();
            levelReports.push_back(levels);
        });
        return service;
    }

    QStringList recordingFiles() const {
        return QDir(recordings.path()).entryList(QDir::Files | QDir::Hidden);
    }

    // Feeds buffers the way the capture thread does: from another thread.
    void feedFromCaptureThread(int count, double amplitude) {
        std::thread capture([&] {
            for (int index = 0; index < count; ++index)
                input->feed(
                    sineBuffer(input->inputFormat(), 1024, 440, amplitude, qint64(index) * 1024));
        });
        capture.join();
    }

    QTemporaryDir recordings;
    std::function<QString()> folderProvider = [this] { return recordings.path(); };
    std::shared_ptr<FakeAudioInput> input = std::make_shared<FakeAudioInput>(int16Mono);
    std::atomic<double> now{1000.0};
    std::vector<QList<double>> levelReports;
    bool levelsOnGuiThread = true;
};

TEST_F(AudioCaptureServiceTest, RecordsIntoAnUpperCaseUuidFileWithLevelsFramedByIdleBars) {
    auto service = makeService();
    std::atomic<int> buffersSeen{0};
    std::atomic<bool> buffersOnCaptureThread{true};
    const auto testThread = std::this_thread::get_id();
    service->setOnBuffer([&](const PcmBuffer &buffer, const AudioTime &) {
        buffersOnCaptureThread = buffersOnCaptureThread && std::this_thread::get_id() != testThread;
        EXPECT_EQ(buffer.frameLength(), 1024);
        ++buffersSeen;
    });

    runTask(service->start());
    ASSERT_TRUE(service->isRecording());
    EXPECT_EQ(input->lastFramesPerBuffer(), 1024);
    ASSERT_EQ(levelReports.size(), 1u);
    EXPECT_EQ(levelReports.front(), AudioCaptureService::idleLevels());

    const QStringList files = recordingFiles();
    ASSERT_EQ(files.size(), 1);
    const QString name = files.front();
    ASSERT_TRUE(name.endsWith(QStringLiteral(".m4a")));
    const QString id = name.chopped(4);
    ASSERT_TRUE(uuidtext::parse(id).has_value()) << name.toStdString();
    EXPECT_EQ(id, id.toUpper());

    feedFromCaptureThread(20, 0.5);
    EXPECT_EQ(buffersSeen.load(), 20);
    EXPECT_TRUE(buffersOnCaptureThread.load());
    ASSERT_TRUE(waitUntil([&] { return levelReports.size() == 21; }, "a level report per buffer"));
    // A loud tone lifts every bar above the floor, rising buffer by buffer.
    EXPECT_GT(levelReports[1][0], 0.14);
    EXPECT_GT(levelReports[2][0], levelReports[1][0]);
    EXPECT_EQ(service->smoothedLevels(), levelReports.back());

    now = 1002.5;
    const RecordingSessionOutput output = service->stop(true);
    EXPECT_FALSE(service->isRecording());
    ASSERT_TRUE(output.audioURL.has_value());
    EXPECT_EQ(*output.audioURL, recordings.filePath(name));
    EXPECT_DOUBLE_EQ(output.duration, 2.5);
    ASSERT_EQ(levelReports.size(), 22u);
    EXPECT_EQ(levelReports.back(), AudioCaptureService::idleLevels());
    EXPECT_EQ(service->smoothedLevels(), AudioCaptureService::idleLevels());
    EXPECT_TRUE(levelsOnGuiThread);

    // The file is complete and holds every frame that was captured.
    AudioFileReader reader(*output.audioURL);
    EXPECT_EQ(reader.processingFormat().sampleRate, 16000);
    EXPECT_EQ(reader.processingFormat().channelCount, 1);
    qint64 frames = 0;
    for (PcmBuffer block = reader.read(2048); block.frameLength() > 0; block = reader.read(2048))
        frames += block.frameLength();
    EXPECT_NEAR(double(frames), 20 * 1024, 1024);
}

TEST_F(AudioCaptureServiceTest, StopDiscardsOnRequestAndIsHarmlessWhenIdle) {
    auto service = makeService();
    runTask(service->start());
    feedFromCaptureThread(3, 0.2);
    const RecordingSessionOutput discarded = service->stop(false);
    EXPECT_EQ(discarded.audioURL, std::nullopt);
    EXPECT_TRUE(recordingFiles().isEmpty());
    EXPECT_FALSE(input->isRunning());

    // A second stop in a row reports nothing at all, and still resets the
    // meter.
    const std::size_t reports = levelReports.size();
    EXPECT_EQ(service->stop(true), (RecordingSessionOutput{std::nullopt, 0}));
    EXPECT_EQ(levelReports.size(), reports + 1);
    EXPECT_EQ(levelReports.back(), AudioCaptureService::idleLevels());

    // And the service records again afterwards.
    runTask(service->start());
    EXPECT_EQ(recordingFiles().size(), 1);
    EXPECT_TRUE(service->stop(true).audioURL.has_value());
}

TEST_F(AudioCaptureServiceTest, TheFileIsHeldFromBeforeItExistsUntilTheOutputLetsGo) {
    struct Held {
        QString name;
        bool existed = false;
        std::weak_ptr<RecordingHold> hold;
    };
    std::vector<Held> holds;
    auto service = std::make_unique<AudioCaptureService>(
        input, ffmpegAacFileWriterFactory(), [this] { return folderProvider(); },
        [this] { return now.load(); },
        [&](const QString &name) {
            auto hold = std::make_shared<RecordingHold>([] {});
            holds.push_back({name, QFileInfo::exists(recordings.path() + u'/' + name), hold});
            return hold;
        });

    runTask(service->start());
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_EQ(recordingFiles(), QStringList{holds[0].name});
    EXPECT_FALSE(holds[0].existed) << "held before the file was made";
    EXPECT_FALSE(holds[0].hold.expired());
    RecordingSessionOutput kept = service->stop(true);
    EXPECT_EQ(kept.fileHold, holds[0].hold.lock()) << "the output carries the hold on";
    kept.fileHold.reset();
    EXPECT_TRUE(holds[0].hold.expired());

    runTask(service->start());
    ASSERT_EQ(holds.size(), 2u);
    EXPECT_EQ(service->stop(false).fileHold, nullptr);
    EXPECT_TRUE(holds[1].hold.expired()) << "a deleted file needs no hold";
}

TEST_F(AudioCaptureServiceTest, ASecondStartLeavesTheRunningRecordingAlone) {
    auto service = makeService();
    runTask(service->start());
    const QStringList before = recordingFiles();
    try {
        runTask(service->start());
        FAIL() << "a second start succeeded";
    } catch (const AudioCaptureError &error) {
        EXPECT_EQ(error.kind(), AudioCaptureError::Kind::alreadyRecording);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("当前已经在录音中。"));
    }
    EXPECT_TRUE(service->isRecording());
    EXPECT_EQ(recordingFiles(), before);
    EXPECT_EQ(input->startCount(), 1);
    EXPECT_TRUE(input->feed(constantBuffer(int16Mono, 1024, 0.1)));
    EXPECT_TRUE(service->stop(true).audioURL.has_value());
}

TEST_F(AudioCaptureServiceTest, FailedStartsLeaveNoFileAndNothingRunning) {
    auto service = makeService();

    // No microphone at all: nothing is created.
    input->setHasDefaultInputDevice(false);
    try {
        runTask(service->start());
        FAIL() << "started without a microphone";
    } catch (const AudioCaptureError &error) {
        EXPECT_EQ(error.kind(), AudioCaptureError::Kind::microphonePermissionDenied);
        EXPECT_EQ(error.localizedDescription(),
                  QStringLiteral("没有可用的麦克风：请确认声音服务（PulseAudio/PipeWire）"
                                 "正在运行，并在声音设置中选择输入设备。"));
    }
    EXPECT_EQ(input->startCount(), 0);
    EXPECT_TRUE(recordingFiles().isEmpty());
    input->setHasDefaultInputDevice(true);

    // The input refuses to start after the file was made: its own error
    // comes through, and the file is gone again.
    input->failNextStart(
        AudioInputError(AudioInputError::Kind::StartFailed, QStringLiteral("busy")));
    EXPECT_THROW(runTask(service->start()), AudioInputError);
    EXPECT_EQ(input->startCount(), 1);
    EXPECT_FALSE(input->isRunning());
    EXPECT_FALSE(service->isRecording());
    EXPECT_TRUE(recordingFiles().isEmpty());

    // The format cannot be read, or the folder cannot be had: passed on.
    input->failNextFormatQuery(
        AudioInputError(AudioInputError::Kind::ServerUnavailable, QStringLiteral("gone")));
    EXPECT_THROW(runTask(service->start()), AudioInputError);
    folderProvider = []() -> QString {
        throw AudioFileError(AudioFileError::Kind::CreateFailed, QStringLiteral("read-only"));
    };
    EXPECT_THROW(runTask(service->start()), AudioFileError);
    folderProvider = [this] { return recordings.path(); };
    EXPECT_TRUE(recordingFiles().isEmpty());

    // After all that the service is idle and records normally.
    EXPECT_EQ(service->stop(true), (RecordingSessionOutput{std::nullopt, 0}));
    runTask(service->start());
    EXPECT_TRUE(service->isRecording());
    EXPECT_EQ(recordingFiles().size(), 1);
}

TEST_F(AudioCaptureServiceTest, StopWhileStartingCancelsTheStartWithoutLeftovers) {
    auto service = makeService();
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
    // The folder lookup runs off the GUI thread; hold it there.
    folderProvider = [&] {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
        return recordings.path();
    };

    QCoro::Task<void> starting = service->start();
    ASSERT_TRUE(waitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return entered;
        },
        "the start to reach the folder lookup"));
    EXPECT_EQ(service->stop(true), (RecordingSessionOutput{std::nullopt, 0}));
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    changed.notify_all();

    try {
        runTask(std::move(starting));
        FAIL() << "the cancelled start succeeded";
    } catch (const AudioCaptureError &error) {
        EXPECT_EQ(error.kind(), AudioCaptureError::Kind::startCancelled);
    }
    EXPECT_FALSE(service->isRecording());
    EXPECT_FALSE(input->isRunning());
    EXPECT_TRUE(recordingFiles().isEmpty());
    folderProvider = [this] { return recordings.path(); };
    runTask(service->start());
    EXPECT_TRUE(service->isRecording());
}

TEST_F(AudioCaptureServiceTest, DurationComesFromTheMonotonicClockAndIsNeverNegative) {
    auto service = makeService();
    now = 50.0;
    runTask(service->start());
    now = 49.0; // a clock that went backwards
    EXPECT_EQ(service->stop(true).duration, 0.0);
}

TEST_F(AudioCaptureServiceTest, WriteFailuresNeitherStopDeliveryNorMetering) {
    auto log = std::make_shared<RecordingWriter::Log>();
    log->failWrites = true;
    auto service = makeService([log](const QString &path, const AacFileSettings &,
                                     const PcmFormat &format) -> std::unique_ptr<AacFileWriter> {
        QFile(path).open(QIODevice::WriteOnly);
        return std::make_unique<RecordingWriter>(format, log);
    });
    std::atomic<int> delivered{0};
    service->setOnBuffer([&](const PcmBuffer &, const AudioTime &) { ++delivered; });
    runTask(service->start());
    feedFromCaptureThread(5, 0.5);
    EXPECT_EQ(delivered.load(), 5);
    ASSERT_TRUE(waitUntil([&] { return levelReports.size() == 6; }, "levels for every buffer"));
    EXPECT_GT(levelReports.back()[0], 0.14);
    EXPECT_TRUE(service->stop(true).audioURL.has_value());
    EXPECT_TRUE(log->closed);
}

TEST_F(AudioCaptureServiceTest, SixtyFourBitFloatInputIsRecordedButNotMetered) {
    input = std::make_shared<FakeAudioInput>(PcmFormat{48000, 1, PcmSampleType::Float64, true});
    auto log = std::make_shared<RecordingWriter::Log>();
    PcmFormat writingFormat;
    AacFileSettings settings;
    auto service = makeService([&](const QString &, const AacFileSettings &given,
                                   const PcmFormat &format) -> std::unique_ptr<AacFileWriter> {
        settings = given;
        writingFormat = format;
        return std::make_unique<RecordingWriter>(format, log);
    });
    std::atomic<int> delivered{0};
    service->setOnBuffer([&](const PcmBuffer &, const AudioTime &) { ++delivered; });
    runTask(service->start());
    EXPECT_EQ(settings, (AacFileSettings{48000, 1, 96000}));
    EXPECT_EQ(writingFormat.sampleType, PcmSampleType::Float64);
    feedFromCaptureThread(4, 0.8);
    ASSERT_TRUE(waitUntil([&] { return levelReports.size() == 5; }, "levels for every buffer"));
    for (const auto &levels : levelReports)
        EXPECT_EQ(levels, AudioCaptureService::idleLevels());
    EXPECT_EQ(delivered.load(), 4);
    EXPECT_EQ(log->buffers, 4);
    service->stop(true);
}

TEST(AudioCaptureServiceFormats, WritingFormatAndSettingsFollowTheInput) {
    const PcmFormat stereo{44100, 2, PcmSampleType::Int32, false};
    EXPECT_EQ(AudioCaptureService::recordingSettings(stereo), (AacFileSettings{44100, 2, 96000}));
    EXPECT_EQ(AudioCaptureService::commonFormatForWriting(stereo), PcmSampleType::Int32);
    EXPECT_EQ(AudioCaptureService::commonFormatForWriting({48000, 1, PcmSampleType::Other, true}),
              PcmSampleType::Float32);
}

TEST_F(AudioCaptureServiceTest, DestroyingTheServiceFinishesTheRunningFile) {
    auto service = makeService();
    runTask(service->start());
    feedFromCaptureThread(10, 0.3);
    const QString path = recordings.filePath(recordingFiles().front());
    service.reset();
    EXPECT_FALSE(input->isRunning());
    AudioFileReader reader(path);
    EXPECT_GT(reader.read(4096).frameLength(), 0);
}

} // namespace
