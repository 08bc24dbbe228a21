// Lines of the lexicon audit trail (personal-lexicon-events.jsonl), which a
// crash can cut anywhere. An event that reads is written as one line again
// and reads back unchanged.

#include "fuzz_checks.h"
#include "models/lexicon_decoding_error.h"
#include "models/personal_lexicon_audit_event.h"
#include "support/json_text.h"

using namespace tovalit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray text = fuzz::bytes(data, size);
    for (const QByteArray &line : text.split('\n')) {
        const auto object = json::parseObject(line);
        if (!object)
            continue;
        std::optional<PersonalLexiconAuditEvent> event;
        try {
            event = PersonalLexiconAuditEvent::fromJson(*object);
        } catch (const LexiconDecodingError &error) {
            fuzz::requireValidUtf16(error.localizedDescription(), "error description");
            continue;
        }
        const QJsonObject json = event->toJson();
        fuzz::requireValidUtf16(QJsonValue(json), "event");
        const QByteArray written = json::compact(json);
        FUZZ_CHECK(!written.contains('\n'));
        const auto reread = json::parseObject(written);
        FUZZ_CHECK(reread.has_value());
        FUZZ_CHECK_TEXT(PersonalLexiconAuditEvent::fromJson(*reread) == *event,
                        QString::fromUtf8(written));
    }
    return 0;
}
