#pragma once

#include "platform/audio_file_reader.h"
#include "tests/support/test_session.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>
#include <optional>
#include <vector>

// Real speech for tests that need it: espeak-ng renders a sentence to a
// WAV file, paplay plays it into the session's virtual microphone.
namespace tovalit::testing {

inline bool hasTool(const QString &name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// Runs a tool to completion; its error output when it fails.
inline std::optional<QString> runTool(const QString &program, const QStringList &arguments,
                                      int timeoutMilliseconds = 30000) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMilliseconds) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + QStringLiteral(" failed: ") +
               QString::fromUtf8(process.readAllStandardError());
    return std::nullopt;
}

// `text` spoken by espeak-ng into a WAV file at `path`.
inline std::optional<QString> synthesizeSpeech(const QString &text, const QString &path,
                                               const QStringList &voiceArguments = {}) {
    return runTool(QStringLiteral("espeak-ng"),
                   voiceArguments + QStringList{QStringLiteral("-w"), path, text});
}

// Channel 0 of a whole audio file, decoded, with its rate.
struct DecodedAudio {
    double sampleRate = 0;
    int channelCount = 0;
    std::vector<float> samples;

    double seconds() const { return sampleRate > 0 ? double(samples.size()) / sampleRate : 0; }

    // Seconds from the first to the last 10 ms window whose RMS exceeds
    // `threshold`: how long the voice lasts, whatever silence surrounds it.
    double voicedSeconds(double threshold = 0.02) const {
        const size_t window = size_t(sampleRate / 100);
        std::optional<size_t> first;
        size_t last = 0;
        for (size_t start = 0; window > 0 && start + window <= samples.size(); start += window) {
            double sum = 0;
            for (size_t index = start; index < start + window; ++index)
                sum += double(samples[index]) * samples[index];
            if (std::sqrt(sum / double(window)) > threshold) {
                if (!first)
                    first = start;
                last = start + window;
            }
        }
        return first ? double(last - *first) / sampleRate : 0;
    }
};

inline DecodedAudio decodeAudioFile(const QString &path) {
    AudioFileReader reader(path);
    DecodedAudio audio;
    audio.sampleRate = reader.processingFormat().sampleRate;
    audio.channelCount = reader.processingFormat().channelCount;
    for (PcmBuffer block = reader.read(4096); block.frameLength() > 0; block = reader.read(4096)) {
        const auto samples = block.samples<float>(0);
        audio.samples.insert(audio.samples.end(), samples.begin(), samples.end());
    }
    return audio;
}

} // namespace tovalit::testing
