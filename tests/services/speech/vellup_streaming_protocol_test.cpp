#include "services/speech/streaming_keep_alive_policy.h"
#include "services/speech/vellup_streaming_protocol.h"
#include "services/speech/vellup_streaming_request.h"
#include "services/speech/vellup_streaming_transcriber.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "tests/services/speech/vellup_test_frames.h"
#include "tests/support/qt_printers.h"

#include <QJsonArray>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace tovalit::testing {
namespace {

using namespace vellupstream;
using Kind = VellupStreamingTranscriberError::Kind;

QByteArray hex(const char *text) {
    return QByteArray::fromHex(text);
}

QByteArray json(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The error a parse throws, or nothing.
std::optional<VellupStreamingTranscriberError> parseError(const QByteArray &frame) {
    try {
        parseVellupServerPacket(frame);
    } catch (const VellupStreamingTranscriberError &error) {
        return error;
    }
    return std::nullopt;
}

ServerPacket parsed(const QByteArray &frame) {
    const auto packet = parseVellupServerPacket(frame);
    EXPECT_TRUE(packet.has_value());
    return packet.value_or(ServerPacket{});
}

TEST(VellupStreamingProtocolTest, WritesClientFramesByteForByte) {
    EXPECT_EQ(finalAudioPacket(-1), hex("11230000ffffffff00000000"));
    EXPECT_EQ(finalAudioPacket(-12), hex("11230000fffffff400000000"));
    // Without a sequence flag there is no sequence field; nibbles are masked.
    EXPECT_EQ(buildVellupPacket(0x12, 0x10, 0x31, 0x20, 7, "ab"),
              QByteArray(hex("1120100000000002") + "ab"));

    QByteArray pcm(3200, '\0');
    for (int i = 0; i < pcm.size(); ++i)
        pcm[i] = char(i * 7);
    const auto audio = readClientFrame(audioPacket(pcm, 0x01020304));
    ASSERT_TRUE(audio);
    EXPECT_EQ(audio->header, hex("11210100"));
    EXPECT_EQ(audio->sequence, 0x01020304);
    EXPECT_EQ(audio->body(), pcm);

    const QByteArray request = R"({"a":1})";
    const auto opening = readClientFrame(fullClientRequestPacket(request));
    ASSERT_TRUE(opening);
    EXPECT_EQ(opening->header, hex("11111100"));
    EXPECT_EQ(opening->sequence, 1);
    EXPECT_EQ(opening->body(), request);

    EXPECT_EQ(bigEndianBytes(0xF4010203), hex("f4010203"));
    EXPECT_EQ(bigEndianValue(hex("fffffff4")), 0xFFFFFFF4u);
    EXPECT_FALSE(bigEndianValue(hex("fffff4")));
}

TEST(VellupStreamingProtocolTest, GzipRoundTripsThroughAnIndependentCodecAndRefusesBadStreams) {
    EXPECT_TRUE(gzipCompressVellupPayload({}).isEmpty());
    EXPECT_TRUE(decodeVellupGzipPayload({}).isEmpty());

    // Random bytes do not compress, so the output spans several 16 KiB
    // chunks on both sides.
    QByteArray noise(100'000, '\0');
    QRandomGenerator generator(42);
    for (auto &byte : noise)
        byte = char(generator.generate());
    const QByteArray compressed = gzipCompressVellupPayload(noise);
    EXPECT_TRUE(looksLikeGzip(compressed));
    EXPECT_EQ(gunzip(compressed), noise);
    EXPECT_EQ(decodeVellupGzipPayload(gzip(noise)), noise);

    // Exactly what a fresh stream with these parameters writes, payload
    // after payload (the compressor is reused between calls).
    const auto freshGzip = [](const QByteArray &bytes) {
        z_stream stream{};
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
        QByteArray out(int(deflateBound(&stream, uLong(bytes.size()))), '\0');
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
        stream.avail_in = uInt(bytes.size());
        stream.next_out = reinterpret_cast<Bytef *>(out.data());
        stream.avail_out = uInt(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(qsizetype(stream.total_out));
        deflateEnd(&stream);
        return out;
    };
    const QByteArray speech = QByteArray("语音帧").repeated(400);
    EXPECT_EQ(gzipCompressVellupPayload(speech), freshGzip(speech));
    EXPECT_EQ(gzipCompressVellupPayload(noise.left(3200)), freshGzip(noise.left(3200)));
    EXPECT_EQ(gzipCompressVellupPayload(speech), freshGzip(speech));

    const auto encoded = encodeVellupPacketPayload("hello", true);
    EXPECT_EQ(encoded.compression, 1);
    EXPECT_EQ(gunzip(encoded.bytes), "hello");
    EXPECT_EQ(encodeVellupPacketPayload("hello", false).compression, 0);
    EXPECT_EQ(encodeVellupPacketPayload({}, true).compression, 0);

    EXPECT_FALSE(looksLikeGzip("\x1f"));
    EXPECT_THROW(decodeVellupGzipPayload("not gzip at all"), VellupStreamingTranscriberError);
    const QByteArray truncated = gzip("truncated stream").chopped(6);
    EXPECT_THROW(decodeVellupGzipPayload(truncated), VellupStreamingTranscriberError);

    // A payload that inflates past 16 MiB is refused; one of exactly 16 MiB
    // is not.
    const QByteArray limit(maximumInflatedPayloadBytes, 'z');
    EXPECT_EQ(decodeVellupGzipPayload(gzip(limit)).size(), maximumInflatedPayloadBytes);
    EXPECT_THROW(decodeVellupGzipPayload(gzip(limit + "z")), VellupStreamingTranscriberError);
}

TEST(VellupStreamingProtocolTest, ReadsHeadersAndIgnoresShortOrTruncatedFrames) {
    // Seven bytes are too few even with a valid header.
    EXPECT_FALSE(parseVellupServerPacket(hex("11b10000000001")));
    // An eight-byte acknowledgement: no text; final by flag 0x2 or a
    // negative sequence.
    EXPECT_EQ(parsed(acknowledgement(1)), (ServerPacket{std::nullopt, false}));
    EXPECT_EQ(parsed(serverFrame(11, 0x1, 0, 0, -3, {}, false)),
              (ServerPacket{std::nullopt, true}));
    EXPECT_EQ(parsed(serverFrame(11, 0x2, 0, 0, 5, {}, false)), (ServerPacket{std::nullopt, true}));

    const QByteArray body = json({{"result", QJsonObject{{"text", "好"}}}});
    // Header size nibble 0 reads as 4 bytes; nibble 2 skips 8.
    QByteArray zeroNibble = serverFrame(9, 0x1, 1, 0, 1, body);
    zeroNibble[0] = char(0x10);
    EXPECT_EQ(parsed(zeroNibble).text, "好");
    QByteArray wideHeader = serverFrame(9, 0x1, 1, 0, 1, body);
    wideHeader[0] = char(0x12);
    wideHeader.insert(4, hex("deadbeef"));
    EXPECT_EQ(parsed(wideHeader).text, "好");
    // Flag 0x4 announces an extra word that is skipped.
    QByteArray extra = serverFrame(9, 0x5, 1, 0, 1, body);
    extra.insert(8, hex("cafebabe"));
    EXPECT_EQ(parsed(extra).text, "好");

    // Unknown types, sizes past the end (also near 4 GiB, which must not
    // wrap around) and missing size fields are ignored; bytes after the
    // payload are ignored.
    EXPECT_FALSE(parseVellupServerPacket(serverFrame(3, 0x1, 1, 0, 1, body)));
    QByteArray tooLong = serverFrame(9, 0x1, 1, 0, 1, body);
    tooLong.replace(8, 4, bigEndian(quint32(body.size() + 1)));
    EXPECT_FALSE(parseVellupServerPacket(tooLong));
    tooLong.replace(8, 4, hex("fffffffe"));
    EXPECT_FALSE(parseVellupServerPacket(tooLong));
    EXPECT_FALSE(parseVellupServerPacket(hex("11910000"
                                             "00000001"
                                             "0000")));
    EXPECT_FALSE(parseVellupServerPacket(hex("11f10000"
                                             "00000001"
                                             "00000000")));
    EXPECT_EQ(parsed(serverFrame(9, 0x1, 1, 0, 1, body) + "trailing").text, "好");
}

TEST(VellupStreamingProtocolTest, HandlesEachCompressionAndSerialization) {
    const QByteArray body = json({{"result", QJsonObject{{"text", "压缩"}}}});
    EXPECT_EQ(parsed(serverFrame(9, 0x1, 1, 1, 1, gzip(body))).text, "压缩");
    // Marked gzip but plain: used as it came.
    EXPECT_EQ(parsed(serverFrame(9, 0x1, 1, 1, 1, body)).text, "压缩");
    // An unknown compression number is read when the bytes are gzip.
    EXPECT_EQ(parsed(serverFrame(9, 0x1, 1, 2, 1, gzip(body))).text, "压缩");

    const auto compression = parseError(serverFrame(9, 0x1, 1, 2, 1, body));
    ASSERT_TRUE(compression);
    EXPECT_EQ(compression->kind(), Kind::unsupportedCompression);
    EXPECT_EQ(compression->localizedDescription(),
              QStringLiteral("Vellup返回了暂不支持的压缩格式：2。"));
    const auto badGzip = parseError(serverFrame(9, 0x1, 1, 2, 1, hex("1f8b0000")));
    ASSERT_TRUE(badGzip);
    EXPECT_EQ(badGzip->kind(), Kind::invalidServerMessage);

    // The serialization is checked before the payload is looked at.
    const auto serialization = parseError(serverFrame(9, 0x1, 2, 2, 1, "anything"));
    ASSERT_TRUE(serialization);
    EXPECT_EQ(serialization->localizedDescription(),
              QStringLiteral("Vellup返回了暂不支持的序列化格式：2。"));

    // A gzip bomb marked as gzip fails instead of falling back to raw bytes.
    const QByteArray bomb = gzip(QByteArray(maximumInflatedPayloadBytes + 1, ' '));
    const auto tooLarge = parseError(serverFrame(9, 0x1, 1, 1, 1, bomb));
    ASSERT_TRUE(tooLarge);
    EXPECT_EQ(tooLarge->localizedDescription(), QStringLiteral("Vellup返回了无法解析的消息。"));

    // Text that is not JSON: trimmed, never final whatever the flags say.
    EXPECT_EQ(parsed(serverFrame(9, 0x3, 1, 0, -2, "  纯文本 \n")),
              (ServerPacket{QStringLiteral("纯文本"), false}));
    EXPECT_EQ(parsed(serverFrame(9, 0x1, 1, 0, 1, hex("ff00ff"))),
              (ServerPacket{std::nullopt, false}));
}

TEST(VellupStreamingProtocolTest, ErrorFramesCarryTheServiceMessage) {
    const auto plain = parseError(serverFrame(
        15, 0x0, 1, 0, std::nullopt, hex("00000457") + bigEndian(14) + "quota exceeded", false));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->kind(), Kind::serverError);
    EXPECT_EQ(plain->code(), 0u);
    EXPECT_EQ(plain->localizedDescription(), QStringLiteral("Vellup流式 ASR 出错：quota exceeded"));

    const QByteArray zipped = gzip(QStringLiteral(" 鉴权失败 ").toUtf8());
    const auto compressed = parseError(serverFrame(
        15, 0x0, 1, 1, std::nullopt, hex("00000001") + bigEndian(zipped.size()) + zipped, false));
    ASSERT_TRUE(compressed);
    EXPECT_EQ(compressed->message(), QStringLiteral(" 鉴权失败 "));

    const auto notUtf8 = parseError(serverFrame(
        15, 0x0, 1, 0, std::nullopt, hex("00000001") + bigEndian(2) + hex("c328"), false));
    ASSERT_TRUE(notUtf8);
    EXPECT_EQ(notUtf8->message(), QStringLiteral("未知错误"));
}

TEST(VellupStreamingProtocolTest, FindsTheTranscriptAndTheEndOfTheStreamInAnswers) {
    const auto textOf = [](const QJsonObject &object) {
        return extractTranscript(QJsonValue(object));
    };
    EXPECT_EQ(textOf({{"result", QJsonObject{{"text", "  词  "}}}}), "词");
    const QJsonArray utterances{QJsonObject{{"text", "a"}}, QJsonObject{{"start", 1}},
                                QJsonObject{{"text", "b"}}};
    EXPECT_EQ(textOf({{"result", QJsonObject{{"text", ""}, {"utterances", utterances}}}}), "ab");
    EXPECT_EQ(textOf({{"result", QJsonArray{QJsonObject{{"text", "c"}}}}}), "c");
    EXPECT_EQ(textOf({{"payload", QJsonObject{{"result", QJsonObject{{"text", "深"}}}}}}), "深");
    EXPECT_EQ(extractTranscript(
                  QJsonArray{QJsonObject{}, QJsonObject{{"result", QJsonObject{{"text", "二"}}}}}),
              "二");
    EXPECT_FALSE(textOf({{"result", QJsonObject{{"text", "   "}}}}));
    EXPECT_FALSE(extractTranscript(QJsonValue(QStringLiteral("bare string"))));

    EXPECT_EQ(extractSequence(QJsonObject{{"sequence", -3}}), -3);
    EXPECT_FALSE(extractSequence(QJsonObject{{"sequence", "-3"}, {"other", -5}}));
    EXPECT_EQ(extractSequence(QJsonObject{{"inner", QJsonObject{{"sequence", 4}}}}), 4);
    EXPECT_FALSE(extractSequence(QJsonObject{{"sequence", 1.5}}));
    EXPECT_FALSE(extractSequence(QJsonObject{{"sequence", 5e9}}));
    EXPECT_EQ(isLastPackage(QJsonObject{{"x", QJsonObject{{"is_last_package", 1}}}}), true);
    EXPECT_EQ(isLastPackage(QJsonObject{{"is_last_package", false}}), false);
    EXPECT_FALSE(isLastPackage(QJsonObject{{"is_last_package", "yes"}}));

    const auto response = [](quint8 flags, qint32 sequence, const QJsonObject &body) {
        return parseVellupServerPacket(serverFrame(9, flags, 1, 0, sequence, json(body)))
            .value_or(ServerPacket{});
    };
    const QJsonObject result{{"result", QJsonObject{{"text", "终"}}}};
    EXPECT_FALSE(response(0x1, 2, result).isFinal);
    EXPECT_TRUE(response(0x2, 2, result).isFinal);
    QJsonObject last = result;
    last.insert("is_last_package", true);
    EXPECT_TRUE(response(0x1, 2, last).isFinal);
    QJsonObject negative = result;
    negative.insert("sequence", -3);
    EXPECT_TRUE(response(0x1, 2, negative).isFinal);
    // A "sequence" that is not a number leaves the header's to decide.
    QJsonObject named = result;
    named.insert("sequence", "x");
    EXPECT_FALSE(response(0x1, 7, named).isFinal);
    EXPECT_TRUE(response(0x3, -7, named).isFinal);
    EXPECT_EQ(response(0x1, 2, result).text, "终");
}

TEST(VellupStreamingProtocolTest, UnpairedSurrogatesInAnswersBecomeReplacementCharacters) {
    // Recognised text is typed into other applications over the
    // accessibility bus, which carries UTF-8 only.
    const QByteArray answer = R"({"result":{"text":"\ud83d\ude00 \ud800好\udc00"}})";
    for (const quint8 compression : {0, 1}) {
        const QByteArray payload = compression ? gzip(answer) : answer;
        EXPECT_EQ(parsed(serverFrame(9, 0x1, 1, compression, 2, payload)).text,
                  QStringLiteral("\U0001F600 \uFFFD好\uFFFD"));
    }
}

TEST(VellupStreamingProtocolTest, BuildsTheOpeningRequestWithTheLexiconCorpus) {
    const QJsonObject plain =
        initialRequestPayload("f0e1d2c3-0000-4000-8000-000000000001", std::nullopt, "工作站");
    EXPECT_EQ(plain["user"].toObject(), (QJsonObject{{"uid", "工作站"},
                                                     {"platform", "macOS"},
                                                     {"sdk_version", "1.0"},
                                                     {"app_version", "1.0.0"}}));
    EXPECT_EQ(
        plain["audio"].toObject(),
        (QJsonObject{
            {"format", "pcm"}, {"codec", "raw"}, {"rate", 16000}, {"bits", 16}, {"channel", 1}}));
    const QJsonObject request = plain["request"].toObject();
    EXPECT_EQ(request["reqid"], "f0e1d2c3-0000-4000-8000-000000000001");
    EXPECT_EQ(request["model_name"], "bigmodel");
    EXPECT_EQ(request["result_type"], "full");
    for (const char *flag :
         {"enable_itn", "enable_punc", "enable_ddc", "enable_nonstream", "show_utterances"})
        EXPECT_EQ(request[flag], true) << flag;
    EXPECT_FALSE(request.contains("corpus"));

    VellupSpeechLexiconConfiguration lexicon;
    EXPECT_FALSE(requestCorpus(lexicon)); // nothing to send
    lexicon.boostingTableID = "bt-1";
    lexicon.boostingTableName = "热词表";
    lexicon.correctTableID = "";
    lexicon.correctTableName = "纠错表";
    lexicon.inlineHotwords = {"Tovalit", "引号\"词"};
    const QJsonObject corpus =
        initialRequestPayload("id", lexicon, "u")["request"].toObject()["corpus"].toObject();
    EXPECT_EQ(corpus.keys(), (QStringList{"boosting_table_id", "context", "correct_table_name"}));
    EXPECT_EQ(corpus["boosting_table_id"], "bt-1");
    EXPECT_EQ(corpus["correct_table_name"], "纠错表");
    // The hot words travel as JSON text inside a string member.
    ASSERT_TRUE(corpus["context"].isString());
    EXPECT_EQ(corpus["context"].toString(),
              QStringLiteral(R"({"hotwords":[{"word":"Tovalit"},{"word":"引号\"词"}]})"));
    EXPECT_FALSE(inlineHotwordContext({}));
    EXPECT_FALSE(localHostDisplayName().isEmpty());
}

TEST(VellupStreamingProtocolTest, DerivesTheGatewaySocketAddress) {
    using Transcriber = VellupStreamingTranscriber;
    EXPECT_EQ(Transcriber::gatewayWebSocketURL(QUrl("HTTPS://gw.example:8443/prefix/?k=v")),
              QUrl("wss://gw.example:8443/prefix/ws/asr?k=v"));
    EXPECT_EQ(Transcriber::gatewayWebSocketURL(QUrl("http://127.0.0.1:8787")),
              QUrl("ws://127.0.0.1:8787/ws/asr"));
    EXPECT_EQ(Transcriber::gatewayWebSocketURL(QUrl("ftp://h//a//b/")), QUrl("ws://h/a/b/ws/asr"));
    EXPECT_FALSE(Transcriber::gatewayWebSocketURL(QUrl("localhost:8080")));

    const StreamingKeepAlivePolicy policy{3.0};
    EXPECT_TRUE(policy.shouldSendKeepAlive(true, false, false, 10.0, 13.0));
    EXPECT_FALSE(policy.shouldSendKeepAlive(true, false, false, 10.0, 12.999));
    EXPECT_FALSE(policy.shouldSendKeepAlive(false, false, false, 10.0, 20.0));
    EXPECT_FALSE(policy.shouldSendKeepAlive(true, true, false, 10.0, 20.0));
    EXPECT_FALSE(policy.shouldSendKeepAlive(true, false, true, 10.0, 20.0));
}

} // namespace
} // namespace tovalit::testing
