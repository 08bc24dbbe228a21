// personal-lexicon.json as any version, crash or hand edit may have left
// it. A snapshot that reads is saved and read back unchanged, byte for byte
// on the second save.

#include "fuzz_checks.h"
#include "models/lexicon_decoding_error.h"
#include "models/personal_lexicon_snapshot.h"

using namespace tovalit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = fuzz::bytes(data, size);
    std::optional<PersonalLexiconSnapshot> snapshot;
    try {
        snapshot = PersonalLexiconSnapshot::fromFileBytes(bytes);
    } catch (const LexiconDecodingError &error) {
        fuzz::requireValidUtf16(error.localizedDescription(), "error description");
        return 0;
    }
    fuzz::requireValidUtf16(QJsonValue(snapshot->toJson()), "snapshot");
    const QByteArray saved = snapshot->toFileBytes();
    const PersonalLexiconSnapshot again = PersonalLexiconSnapshot::fromFileBytes(saved);
    FUZZ_CHECK_TEXT(again == *snapshot, QString::fromUtf8(saved.left(2000)));
    FUZZ_CHECK(again.toFileBytes() == saved);
    return 0;
}
