#pragma once

#include "support/field_decoding_error.h"

namespace tovalit {

// "instruction-library.json" does not hold what the reader expects.
class InstructionLibraryDecodingError
    : public FieldDecodingErrorOf<InstructionLibraryDecodingError> {
public:
    InstructionLibraryDecodingError(Problem problem, QString location, QString value = {});
};

} // namespace tovalit
