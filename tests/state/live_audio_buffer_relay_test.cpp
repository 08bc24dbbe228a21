#include "services/speech/live_transcriber.h"
#include "state/session/live_audio_buffer_relay.h"
#include "state/session/live_transcript_accumulator.h"
#include "tests/support/qt_printers.h"

#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace tovalit {
namespace {

PcmBuffer marked(int marker) {
    PcmBuffer buffer(PcmFormat{16000, 1, PcmSampleType::Int16, true}, 160);
    buffer.setFrameLength(160);
    buffer.samples<qint16>(0)[0] = qint16(marker);
    return buffer;
}

// Writes down the first sample of every buffer it hears; a hook runs inside
// append() to play the capture thread during a replay.
class ListeningTranscriber final : public LiveTranscriber {
public:
    void setOnPartial(PartialCallback) override {}
    QString engineName() const override { return QStringLiteral("listener"); }
    QCoro::Task<void> start() override { co_return; }
    void append(const PcmBuffer &buffer) override {
        {
            std::lock_guard lock(mutex);
            heard << int(buffer.samples<qint16>(0)[0]);
        }
        if (onAppend)
            onAppend();
    }
    QCoro::Task<QString> finish() override { co_return QString(); }
    void cancel() override {}

    std::mutex mutex;
    QList<int> heard;
    std::function<void()> onAppend;
};

QList<int> range(int first, int last) {
    QList<int> values;
    for (int value = first; value <= last; ++value)
        values << value;
    return values;
}

TEST(LiveAudioBufferRelayTest, BuffersWhileDetachedKeepsTheNewest160AndReplaysThemInOrder) {
    LiveAudioBufferRelay relay(160);
    auto first = std::make_shared<ListeningTranscriber>();
    relay.setTranscriber(first, false);
    relay.append(marked(1));
    EXPECT_EQ(first->heard, QList<int>{1}) << "attached: straight through";

    relay.beginBuffering();
    for (int marker = 2; marker <= 161; ++marker)
        relay.append(marked(marker));
    EXPECT_FALSE(relay.hasDroppedBufferedAudio()) << "160 fit";
    for (int marker = 162; marker <= 201; ++marker)
        relay.append(marked(marker));
    EXPECT_EQ(first->heard, QList<int>{1}) << "nothing reaches a detached recogniser";
    EXPECT_EQ(relay.bufferedCount(), 160);
    EXPECT_TRUE(relay.hasDroppedBufferedAudio());

    auto second = std::make_shared<ListeningTranscriber>();
    relay.setTranscriber(second, true);
    EXPECT_EQ(second->heard, range(42, 201)) << "the newest 160, oldest first";
    EXPECT_EQ(relay.bufferedCount(), 0);
    relay.append(marked(202));
    EXPECT_EQ(second->heard.last(), 202);

    // Without replay the backlog stays for a later attachment.
    relay.reset();
    EXPECT_FALSE(relay.hasDroppedBufferedAudio());
    relay.append(marked(7));
    EXPECT_EQ(relay.bufferedCount(), 1) << "no recogniser and not buffering still keeps audio";
    auto third = std::make_shared<ListeningTranscriber>();
    relay.setTranscriber(third, false);
    EXPECT_TRUE(third->heard.isEmpty());
    EXPECT_EQ(relay.bufferedCount(), 1);
    relay.setTranscriber(nullptr, false);
    EXPECT_EQ(relay.bufferedCount(), 1);
}

TEST(LiveAudioBufferRelayTest, AudioCapturedDuringAReplayFollowsTheBacklog) {
    LiveAudioBufferRelay relay(160);
    relay.beginBuffering();
    for (int marker = 1; marker <= 3; ++marker)
        relay.append(marked(marker));

    auto next = std::make_shared<ListeningTranscriber>();
    bool capturedDuringReplay = false;
    next->onAppend = [&] {
        if (capturedDuringReplay)
            return;
        capturedDuringReplay = true;
        // The capture thread delivers two buffers while the first replayed
        // one is being handed over.
        std::thread capture([&] {
            relay.append(marked(4));
            relay.append(marked(5));
        });
        capture.join();
    };
    relay.setTranscriber(next, true);
    relay.append(marked(6));
    EXPECT_EQ(next->heard, range(1, 6));
}

TEST(LiveTranscriptAccumulatorTest, PartialsContinueTheCommittedTextWithoutRepeatingTheOverlap) {
    LiveTranscriptAccumulator accumulator;
    EXPECT_EQ(accumulator.renderedPartial(QStringLiteral("  你好 \n")), QStringLiteral("你好"))
        << "without a committed prefix the partial is only trimmed";

    accumulator.sealCurrentTranscript(QStringLiteral(" 你好世界\n"));
    EXPECT_EQ(accumulator.committedPrefix(), QStringLiteral("你好世界"));
    EXPECT_EQ(accumulator.renderedPartial(QStringLiteral("世界今天")),
              QStringLiteral("你好世界今天"));
    EXPECT_EQ(accumulator.renderedPartial(QStringLiteral("界")), QStringLiteral("你好世界"));
    EXPECT_EQ(accumulator.renderedPartial(QStringLiteral("今天")),
              QStringLiteral("你好世界\n今天"));
    EXPECT_EQ(accumulator.renderedPartial(QStringLiteral("  \n")), QStringLiteral("你好世界"));

    // Characters compare canonically: a decomposed é overlaps a composed one.
    accumulator.sealCurrentTranscript(QStringLiteral("caf\u00e9"));
    EXPECT_EQ(accumulator.renderedPartial(QStringLiteral("e\u0301 au lait")),
              QStringLiteral("caf\u00e9 au lait"));
    // A flag is one character: half of it is no overlap.
    accumulator.sealCurrentTranscript(QStringLiteral("旗🇨🇳"));
    EXPECT_EQ(accumulator.renderedPartial(QStringLiteral("🇳好")), QStringLiteral("旗🇨🇳\n🇳好"));
}

TEST(LiveTranscriptAccumulatorTest, OverlapsAreSearchedWithin120Characters) {
    LiveTranscriptAccumulator accumulator;
    const QString x120 = QString(120, u'x');
    accumulator.sealCurrentTranscript(QString(QStringLiteral("前") + x120));
    EXPECT_EQ(accumulator.renderedPartial(QString(x120 + QStringLiteral("后"))),
              QString(QStringLiteral("前") + x120 + QStringLiteral("后")));

    // An overlap of 121 characters is out of reach, and no shorter one fits.
    const QString shared = QStringLiteral("a") + QString(120, u'b');
    accumulator.sealCurrentTranscript(QString(QStringLiteral("前") + shared));
    EXPECT_EQ(
        accumulator.renderedPartial(QString(shared + QStringLiteral("后"))),
        QString(QStringLiteral("前") + shared + QLatin1Char('\n') + shared + QStringLiteral("后")));
}

TEST(LiveTranscriptAccumulatorTest, TheFinalTextFallsBackToTheLastLiveText) {
    LiveTranscriptAccumulator accumulator;
    EXPECT_EQ(accumulator.resolvedFinalTranscript(QString(), QStringLiteral(" 最后一版 \n")),
              QStringLiteral("最后一版"));
    accumulator.sealCurrentTranscript(QStringLiteral("第一段"));
    EXPECT_EQ(accumulator.resolvedFinalTranscript(QString(), QStringLiteral("别的")),
              QStringLiteral("第一段"));
    EXPECT_EQ(accumulator.resolvedFinalTranscript(QStringLiteral("第二段"), QString()),
              QStringLiteral("第一段\n第二段"));
    accumulator.reset();
    EXPECT_EQ(accumulator.resolvedFinalTranscript(QStringLiteral(" 全文 "), QString()),
              QStringLiteral("全文"));
}

TEST(LiveTranscriptAccumulatorTest, AStreamThatGrowsReadsAsEachOfItsTextsReadsAlone) {
    // The accumulator keeps what it read of the last partial text; a fresh
    // one reads the same text from nothing.
    QString committed;
    for (int sentence = 0; sentence < 40; ++sentence)
        committed += QStringLiteral("第%1句讨论预算和招聘节奏。").arg(sentence);
    committed += QStringLiteral("caf\u00e9");
    LiveTranscriptAccumulator following;
    following.sealCurrentTranscript(committed);
    const QStringList steps{QStringLiteral("招聘节奏。caf"), QStringLiteral("e\u0301"),
                            QStringLiteral(" au lait"), QStringLiteral("，然后"),
                            QStringLiteral("说上线")};
    QString stream;
    for (const QString &step : steps) {
        for (const QString &partial : {QString(stream + step), QString(stream + step.left(1))}) {
            LiveTranscriptAccumulator fresh;
            fresh.sealCurrentTranscript(committed);
            EXPECT_EQ(following.renderedPartial(partial), fresh.renderedPartial(partial))
                << partial.toStdString();
            EXPECT_EQ(following.resolvedFinalTranscript(partial, QString()),
                      fresh.resolvedFinalTranscript(partial, QString()));
        }
        stream += step;
    }
    EXPECT_EQ(following.renderedPartial(stream), committed + QStringLiteral(" au lait，然后说上线"))
        << "the decomposed é overlaps the composed one";
}

} // namespace
} // namespace tovalit
