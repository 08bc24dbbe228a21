// instruction-library.json as any version, crash or hand edit may have left
// it. A library that reads (reconciled with the built-in pack) is saved and
// read back unchanged, byte for byte on the second save.

#include "fuzz_checks.h"
#include "models/instruction_library_decoding_error.h"
#include "models/instruction_library_snapshot.h"

using namespace tovalit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = fuzz::bytes(data, size);
    std::optional<InstructionLibrarySnapshot> snapshot;
    try {
        snapshot = InstructionLibrarySnapshot::fromFileBytes(bytes);
    } catch (const InstructionLibraryDecodingError &error) {
        fuzz::requireValidUtf16(error.localizedDescription(), "error description");
        return 0;
    }
    fuzz::requireValidUtf16(QJsonValue(snapshot->toJson()), "library");
    const QByteArray saved = snapshot->toFileBytes();
    const InstructionLibrarySnapshot again = InstructionLibrarySnapshot::fromFileBytes(saved);
    FUZZ_CHECK_TEXT(again == *snapshot, QString::fromUtf8(saved.left(2000)));
    FUZZ_CHECK(again.toFileBytes() == saved);
    return 0;
}
