#include "services/instructions/instruction_library_store_error.h"

namespace tovalit {

InstructionLibraryStoreError::InstructionLibraryStoreError(Kind kind, QString detail)
    : DataFileError(QStringLiteral("指令库文件"), kind, std::move(detail)) {}

} // namespace tovalit
