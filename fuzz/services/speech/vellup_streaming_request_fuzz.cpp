// The full client request that opens a stream, from lexicon values as the
// lexicon file may hold them: the frame our encoder writes must carry
// exactly the request JSON, and its corpus exactly the tables and hot words
// the lexicon gave.

#include "fuzz_checks.h"
#include "services/speech/vellup_streaming_protocol.h"
#include "services/speech/vellup_streaming_request.h"
#include "support/json_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fuzzer/FuzzedDataProvider.h>

using namespace tovalit;
using namespace tovalit::vellupstream;

namespace {

QString text(FuzzedDataProvider &input) {
    return QString::fromStdString(input.ConsumeRandomLengthString(64));
}

std::optional<QString> optionalText(FuzzedDataProvider &input) {
    if (!input.ConsumeBool())
        return std::nullopt;
    return text(input);
}

quint32 bigEndianAt(const QByteArray &frame, qsizetype offset) {
    return *bigEndianValue(QByteArrayView(frame).sliced(offset, 4));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const QString requestID = text(input);
    const QString userID = text(input);
    std::optional<VellupSpeechLexiconConfiguration> lexicon;
    if (input.ConsumeBool()) {
        lexicon.emplace();
        lexicon->boostingTableID = optionalText(input);
        lexicon->boostingTableName = optionalText(input);
        lexicon->correctTableID = optionalText(input);
        lexicon->correctTableName = optionalText(input);
        const int words = input.ConsumeIntegralInRange(0, 40);
        for (int i = 0; i < words; ++i)
            lexicon->inlineHotwords.append(text(input));
    }

    const QJsonObject payload = initialRequestPayload(requestID, lexicon, userID);
    const QByteArray json = json::compact(payload);
    const QByteArray frame = fullClientRequestPacket(json);

    // Header: version 1 / 4-byte header, full client request with a
    // positive sequence, JSON, gzip; then sequence 1, size, payload.
    FUZZ_CHECK(frame.size() >= 12);
    FUZZ_CHECK(quint8(frame[0]) == 0x11);
    FUZZ_CHECK(quint8(frame[1]) ==
               ((messagetype::fullClientRequest << 4) | flags::positiveSequence));
    FUZZ_CHECK(quint8(frame[2]) == ((serialization::json << 4) | compression::gzip));
    FUZZ_CHECK(bigEndianAt(frame, 4) == 1);
    FUZZ_CHECK(qsizetype(bigEndianAt(frame, 8)) == frame.size() - 12);
    const QByteArray sent = decodeVellupGzipPayload(QByteArrayView(frame).sliced(12));
    FUZZ_CHECK(sent == json);
    const auto decoded = json::parseObject(sent);
    FUZZ_CHECK(decoded && *decoded == payload);

    const QJsonObject request = decoded->value(u"request").toObject();
    FUZZ_CHECK(request.value(u"reqid").toString() == requestID);
    FUZZ_CHECK(decoded->value(u"user").toObject().value(u"uid").toString() == userID);
    const auto has = [](const std::optional<QString> &value) { return value && !value->isEmpty(); };
    const QJsonObject corpus = request.value(u"corpus").toObject();
    FUZZ_CHECK(request.contains(u"corpus") == (lexicon && !corpus.isEmpty()));
    if (!lexicon)
        return 0;
    const auto expectTable = [&](const std::optional<QString> &id,
                                 const std::optional<QString> &name, QStringView idKey,
                                 QStringView nameKey) {
        if (has(id)) {
            FUZZ_CHECK(corpus.value(idKey).toString() == *id && !corpus.contains(nameKey));
        } else if (has(name)) {
            FUZZ_CHECK(corpus.value(nameKey).toString() == *name && !corpus.contains(idKey));
        } else {
            FUZZ_CHECK(!corpus.contains(idKey) && !corpus.contains(nameKey));
        }
    };
    expectTable(lexicon->boostingTableID, lexicon->boostingTableName, u"boosting_table_id",
                u"boosting_table_name");
    expectTable(lexicon->correctTableID, lexicon->correctTableName, u"correct_table_id",
                u"correct_table_name");

    QStringList words;
    if (corpus.contains(u"context")) {
        const auto context = json::parseObject(corpus.value(u"context").toString().toUtf8());
        FUZZ_CHECK(context.has_value());
        for (const QJsonValue &word : context->value(u"hotwords").toArray())
            words.append(word.toObject().value(u"word").toString());
    }
    FUZZ_CHECK(words == lexicon->inlineHotwords);
    return 0;
}
