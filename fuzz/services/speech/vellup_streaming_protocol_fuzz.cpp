// Server frames of the streaming recogniser, as the session hands them over:
// header, sequence, sizes, gzip and the inflation limit. A frame that reads
// must come back the same when the application's own encoder writes what
// was read; a gzip payload that inflates must inflate again after our own
// compression.

#include "fuzz_checks.h"
#include "services/speech/vellup_streaming_protocol.h"
#include "services/speech/vellup_streaming_transcriber_error.h"
#include "support/textkit.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace tovalit;
using namespace tovalit::vellupstream;

namespace {

// A server frame that says what `packet` says, gzipped or not.
QByteArray frameSaying(const ServerPacket &packet, bool gzip) {
    QByteArray payload;
    if (packet.text && packet.text->isEmpty())
        payload = " "; // not JSON: read as its text, which trims to nothing
    else if (packet.text)
        payload = QJsonDocument(QJsonObject{{QStringLiteral("result"),
                                             QJsonObject{{QStringLiteral("text"), *packet.text}}}})
                      .toJson(QJsonDocument::Compact);
    const EncodedPayload encoded = encodeVellupPacketPayload(payload, gzip);
    return buildVellupPacket(messagetype::fullServerResponse,
                             packet.isFinal ? flags::lastPacket : quint8(0), serialization::json,
                             encoded.compression, -1, encoded.bytes);
}

void checkFrame(const QByteArray &frame) {
    std::optional<ServerPacket> packet;
    try {
        packet = parseVellupServerPacket(frame);
    } catch (const VellupStreamingTranscriberError &) {
        return; // the session ends with this error
    }
    if (!packet)
        return;
    fuzz::requireValidUtf16(packet->text, "recognised text");
    FUZZ_CHECK(!packet->text || *packet->text == textkit::trimmed(*packet->text));
    for (const bool gzip : {false, true}) {
        const auto again = parseVellupServerPacket(frameSaying(*packet, gzip));
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(*again == *packet);
    }
}

void checkGzip(const QByteArray &payload) {
    QByteArray inflated;
    try {
        inflated = decodeVellupGzipPayload(payload);
    } catch (const VellupStreamingTranscriberError &) {
        return;
    }
    FUZZ_CHECK(inflated.size() <= maximumInflatedPayloadBytes);
    FUZZ_CHECK(decodeVellupGzipPayload(gzipCompressVellupPayload(inflated)) == inflated);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input = fuzz::bytes(data, size);
    checkFrame(input);
    checkGzip(input);
    return 0;
}
