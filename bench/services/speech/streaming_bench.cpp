// Costs of the streaming recogniser's wire format: every 100 ms of speech
// becomes one gzip frame on the streaming thread, and every answer of the
// service is parsed there, so both must stay far below their 100 ms budget.

#include "services/speech/vellup_streaming_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>
#include <cmath>

using namespace tovalit;

namespace {

// 100 ms of a voice-like 16 kHz signal with a little noise: silence would
// flatter the compressor.
QByteArray speechLikeFrame() {
    QByteArray pcm(vellupstream::audioFrameBytes, '\0');
    QRandomGenerator noise(7);
    double phase = 0;
    for (int i = 0; i < pcm.size() / 2; ++i) {
        const double t = i / 16000.0;
        phase += 2 * M_PI * (140 + 20 * std::sin(2 * M_PI * 3 * t)) / 16000.0;
        const double value = 0.3 * std::sin(phase) + 0.15 * std::sin(2 * phase) +
                             0.01 * (noise.generateDouble() - 0.5);
        const auto sample = qint16(std::lround(value * 32767));
        pcm[2 * i] = char(sample & 0xFF);
        pcm[2 * i + 1] = char((sample >> 8) & 0xFF);
    }
    return pcm;
}

// A typical answer a few seconds into a dictation: the whole text so far
// with its utterances, gzip-compressed as the service sends it.
QByteArray typicalServerFrame() {
    QJsonArray utterances;
    for (int i = 0; i < 4; ++i) {
        utterances.append(QJsonObject{
            {"definite", i < 3},
            {"start_time", i * 1500},
            {"end_time", i * 1500 + 1400},
            {"text", QStringLiteral("这是第%1句话，内容大约二十个字左右。").arg(i + 1)}});
    }
    QString text;
    for (const auto &utterance : utterances)
        text += utterance.toObject()["text"].toString();
    const QJsonObject body{{"audio_info", QJsonObject{{"duration", 6000}}},
                           {"result", QJsonObject{{"text", text}, {"utterances", utterances}}}};
    const QByteArray payload =
        vellupstream::gzipCompressVellupPayload(QJsonDocument(body).toJson(QJsonDocument::Compact));
    return vellupstream::buildVellupPacket(
        vellupstream::messagetype::fullServerResponse, vellupstream::flags::positiveSequence,
        vellupstream::serialization::json, vellupstream::compression::gzip, 42, payload);
}

void BM_BuildAndGzipAudioFrame(benchmark::State &state) {
    const QByteArray pcm = speechLikeFrame();
    qint32 sequence = 2;
    for (auto _ : state)
        benchmark::DoNotOptimize(vellupstream::audioPacket(pcm, sequence++));
}
BENCHMARK(BM_BuildAndGzipAudioFrame)->Unit(benchmark::kMicrosecond);

void BM_ParseServerFrame(benchmark::State &state) {
    const QByteArray frame = typicalServerFrame();
    for (auto _ : state)
        benchmark::DoNotOptimize(vellupstream::parseVellupServerPacket(frame));
}
BENCHMARK(BM_ParseServerFrame)->Unit(benchmark::kMicrosecond);

} // namespace
