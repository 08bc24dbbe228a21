// A recording whose process is killed while the user speaks: the file must
// hold what was said up to about a second before, readable by players and
// by the audio-file recogniser.

#include "platform/linux/pulse_audio_input.h"
#include "services/speech/vellup_audio_file_transcriber.h"
#include "tests/support/media_probe.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/test_session.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;

TEST(AudioCaptureKill, AKilledRecordingKeepsWhatWasSaidUpToTheLastSecond) {
    TOVALIT_REQUIRE_ENVIRONMENT(PulseAudioInput().hasDefaultInputDevice(),
                                "no PulseAudio server with a default source");
    TOVALIT_REQUIRE_ENVIRONMENT(hasTool(QStringLiteral("espeak-ng")) &&
                                    hasTool(QStringLiteral("paplay")) &&
                                    hasTool(QStringLiteral("ffprobe")),
                                "espeak-ng, paplay and ffprobe are needed");
    QTemporaryDir folder;
    const QString speech = folder.filePath(QStringLiteral("speech.wav"));
    ASSERT_EQ(synthesizeSpeech(QStringLiteral("This meeting is recorded. The first point on the "
                                              "agenda is the budget for next year, and the "
                                              "second is the plan for the new office."),
                               speech, {QStringLiteral("-s"), QStringLiteral("150")}),
              std::nullopt);
    const QString recordings = folder.filePath(QStringLiteral("recordings"));
    ASSERT_TRUE(QDir().mkpath(recordings));
    const double rate = PulseAudioInput().inputFormat().sampleRate;

    QProcess recorder;
    recorder.start(QStringLiteral(TOVALIT_TEST_TOOLS_DIR "/data_file_saver"),
                   {QStringLiteral("record"), recordings});
    qint64 frames = 0;
    const auto readFrames = [&] {
        while (recorder.canReadLine()) {
            const QByteArray line = recorder.readLine().trimmed();
            if (line.startsWith("frames "))
                frames = line.sliced(7).toLongLong();
        }
        return frames;
    };
    ASSERT_TRUE(waitUntil(
        [&] {
            recorder.waitForReadyRead(50);
            return readFrames() > 0;
        },
        "the recorder's first buffer", std::chrono::seconds(15)))
        << recorder.readAllStandardError().toStdString();

    QProcess player;
    player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), QStringLiteral("vsink"), speech});
    // A few seconds into the speech, and not on a fragment's edge.
    const qint64 killAt = frames + qint64(rate * 3.4);
    ASSERT_TRUE(waitUntil(
        [&] {
            recorder.waitForReadyRead(20);
            return readFrames() >= killAt;
        },
        "three seconds of speech", std::chrono::seconds(20)));
    recorder.kill();
    recorder.waitForFinished(5000);
    player.kill();
    player.waitForFinished(5000);
    readFrames();
    const double captured = double(frames) / rate;

    const QStringList files = QDir(recordings).entryList({QStringLiteral("*.m4a")}, QDir::Files);
    ASSERT_EQ(files.size(), 1) << QDir(recordings).entryList().join(u' ').toStdString();
    const QString file = QDir(recordings).filePath(files.front());
    const auto facts = probeMediaFile(file);
    EXPECT_EQ(facts.value(QStringLiteral("codec_name")), QStringLiteral("aac"));
    EXPECT_NEAR(facts.value(QStringLiteral("duration")).toDouble(), captured, 1.5)
        << "captured " << captured << " s";
    const DecodedAudio decoded = decodeAudioFile(file);
    EXPECT_GT(decoded.voicedSeconds(), 1.0) << "the speech is in it";

    // What whole-file recognition sends: 16 kHz mono PCM of the same length.
    const QByteArray pcm = VellupAudioFileTranscriber::convertAudioFileToPCMData(file);
    EXPECT_NEAR(double(pcm.size()) / 32000, captured, 1.5);
}

} // namespace
} // namespace tovalit
