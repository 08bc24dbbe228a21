// history.json as any version, crash or hand edit may have left it. What
// reads must be written and read back to the very same records, and a
// text that does not read says why.

#include "fuzz_checks.h"
#include "services/history/history_file_codec.h"

using namespace tovalit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray text = fuzz::bytes(data, size);
    const HistoryFileCodec::Decoded decoded = HistoryFileCodec::decode(text);
    if (!decoded.problem.isEmpty()) {
        fuzz::requireValidUtf16(decoded.problem, "problem");
        FUZZ_CHECK(decoded.records.isEmpty());
        return 0;
    }
    for (const TranscriptRecord &record : decoded.records) {
        fuzz::requireValidUtf16(QJsonValue(record.toJson()), "record");
        fuzz::requireValidUtf16(record.formattedDuration(), "duration");
        FUZZ_CHECK(record.createdAt.isValid());
    }
    const QByteArray written = HistoryFileCodec::encode(decoded.records);
    const HistoryFileCodec::Decoded again = HistoryFileCodec::decode(written);
    FUZZ_CHECK_TEXT(again.problem.isEmpty(), again.problem);
    FUZZ_CHECK_TEXT(again.records == decoded.records, QString::fromUtf8(written.left(2000)));
    FUZZ_CHECK(HistoryFileCodec::encode(again.records) == written);
    return 0;
}
