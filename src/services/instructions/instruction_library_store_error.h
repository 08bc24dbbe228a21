#pragma once

#include "support/data_file_error.h"

namespace tovalit {

// "instruction-library.json" could not be read, written or kept.
class InstructionLibraryStoreError : public DataFileError {
public:
    InstructionLibraryStoreError(Kind kind, QString detail);
};

} // namespace tovalit
