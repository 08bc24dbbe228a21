// The on-device recogniser on the real PocketSphinx engine and its
// installed English model, listening to espeak-ng.

#include "platform/linux/pocketsphinx_speech_engine.h"
#include "services/speech/apple_speech_transcriber.h"
#include "tests/support/manual_sleeper.h"
#include "tests/support/run_task.h"
#include "tests/support/spoken_audio.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <thread>

using namespace tovalit;
using namespace tovalit::testing;

namespace {

TEST(PocketSphinxSpeechEngine, FindsInstalledModelsByLocale) {
    PocketSphinxSpeechEngine engine;
    TOVALIT_REQUIRE_ENVIRONMENT(engine.modelFor(QStringLiteral("en-US")).has_value(),
                                "the pocketsphinx-en-us model is not installed");
    const auto model = *engine.modelFor(QStringLiteral("en-US"));
    EXPECT_TRUE(model.acousticModel.endsWith(QStringLiteral("/en-us/en-us")));
    EXPECT_TRUE(model.languageModel.endsWith(QStringLiteral("/en-us.lm.bin")));
    EXPECT_TRUE(model.dictionary.endsWith(QStringLiteral(".dict")));
    EXPECT_TRUE(engine.modelFor(QStringLiteral("en_us")).has_value());
    EXPECT_TRUE(engine.modelFor(QStringLiteral("en")).has_value());
    EXPECT_FALSE(engine.modelFor(QStringLiteral("zh-CN")).has_value());
    EXPECT_FALSE(engine.modelFor(QStringLiteral("../en-us")).has_value());
    EXPECT_FALSE(engine.modelFor(QString()).has_value());
    EXPECT_EQ(engine.makeRecognizer(QStringLiteral("fr-FR")), nullptr);
}

// Neither the locale nor the Chinese fallback has a model here.
TEST(PocketSphinxSpeechEngine, ALocaleWithoutAnyModelIsUnavailable) {
    auto transcriber = std::make_shared<AppleSpeechTranscriber>(QStringLiteral("fr-FR"));
    try {
        runTask(transcriber->start());
        FAIL() << "started without a model";
    } catch (const AppleSpeechTranscriberError &error) {
        EXPECT_EQ(error.kind(), AppleSpeechTranscriberError::Kind::recognizerUnavailable);
    }
}

// PocketSphinx's own recording of a man saying "go forward ten meters":
// 16 kHz, 16-bit mono, no header.
const QString goForwardRecording =
    QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");
const PcmFormat recordingFormat{16000, 1, PcmSampleType::Int16, true};

// The sentence twice, with a pause long enough for the decoder's voice
// detection to end the first segment on its own; nothing when the model or
// the recording is not installed (the test is then skipped).
std::optional<std::vector<qint16>> sentenceTwice() {
    if (!PocketSphinxSpeechEngine().modelFor(QStringLiteral("en-US")))
        return std::nullopt;
    QFile recording(goForwardRecording);
    if (!recording.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray raw = recording.readAll();
    const auto *words = reinterpret_cast<const qint16 *>(raw.constData());
    std::vector<qint16> samples(16000 * 3 / 10, 0);
    samples.insert(samples.end(), words, words + raw.size() / 2);
    samples.insert(samples.end(), 16000 * 3 / 2, 0);
    samples.insert(samples.end(), words, words + raw.size() / 2);
    samples.insert(samples.end(), 16000 / 2, 0);
    return samples;
}

const QString bothSentences = QStringLiteral("go forward ten meters\ngo forward ten meters");

// Feeds 16 kHz mono samples to the transcriber in capture-sized buffers,
// at the pace a microphone delivers them.
void speakInto(AppleSpeechTranscriber &transcriber, const std::vector<qint16> &samples) {
    const auto bufferDuration = std::chrono::microseconds(1024 * 1'000'000 / 16000);
    auto next = std::chrono::steady_clock::now();
    PcmBuffer buffer(recordingFormat, 1024);
    for (size_t start = 0; start < samples.size(); start += 1024) {
        const size_t frames = std::min<size_t>(1024, samples.size() - start);
        std::copy_n(samples.begin() + qsizetype(start), frames, buffer.samples<qint16>(0).begin());
        buffer.setFrameLength(int(frames));
        transcriber.append(buffer);
        next += bufferDuration;
        std::this_thread::sleep_until(next);
    }
}

// An English transcriber, started, keeping every text it reports. The end
// of a segment is where the audio pauses, whenever the decoder gets there;
// its watchdog does not fire here (the decoder may lag behind on a busy
// machine), the test's own limit bounds the wait.
struct ListeningTranscriber {
    // Before the transcriber, which may still report while it goes.
    QStringList partials;
    ManualSleeper sleeper;
    std::shared_ptr<AppleSpeechTranscriber> transcriber = std::make_shared<AppleSpeechTranscriber>(
        QStringLiteral("en-US"), nullptr, sleeper.sleeper());

    ListeningTranscriber() {
        transcriber->setOnPartial([this](const QString &text) { partials.append(text); });
        runTask(transcriber->start(), std::chrono::seconds(30));
    }
};

TEST(PocketSphinxSpeechEngine, RecognisesRealSpeechInSegments) {
    const auto samples = sentenceTwice();
    TOVALIT_REQUIRE_ENVIRONMENT(samples, "pocketsphinx-en-us or pocketsphinx-testdata is missing");
    ListeningTranscriber listening;

    std::atomic<bool> spoken{false};
    std::thread microphone([&] {
        speakInto(*listening.transcriber, *samples);
        spoken = true;
    });
    // Partial texts reach the GUI thread while the audio plays.
    const bool finishedSpeaking = waitUntil([&] { return spoken.load(); },
                                            "the speech to be played", std::chrono::seconds(30));
    microphone.join();
    ASSERT_TRUE(finishedSpeaking);

    const QString text = runTask(listening.transcriber->finish(), std::chrono::seconds(60));
    EXPECT_EQ(text, bothSentences);
    ASSERT_FALSE(listening.partials.isEmpty());
    EXPECT_EQ(listening.partials.back(), text);
}

// A decoder that fell behind (a busy machine) finds the audio of both
// sentences and the stop waiting for it at once: it still ends the first
// segment where the voice paused, and decodes the rest before it ends.
TEST(PocketSphinxSpeechEngine, ADecoderBehindTheAudioSegmentsItAsWhenItKeptUp) {
    const auto samples = sentenceTwice();
    TOVALIT_REQUIRE_ENVIRONMENT(samples, "pocketsphinx-en-us or pocketsphinx-testdata is missing");
    ListeningTranscriber listening;

    PcmBuffer everything(recordingFormat, int(samples->size()));
    std::copy(samples->begin(), samples->end(), everything.samples<qint16>(0).begin());
    everything.setFrameLength(int(samples->size()));
    listening.transcriber->append(everything);
    const QString text = runTask(listening.transcriber->finish(), std::chrono::seconds(60));
    EXPECT_EQ(text, bothSentences);
    ASSERT_TRUE(waitUntil([&] { return listening.partials.contains(bothSentences); },
                          "the whole text to be reported"));
}

} // namespace
