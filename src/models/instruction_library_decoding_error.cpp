#include "models/instruction_library_decoding_error.h"

namespace tovalit {

InstructionLibraryDecodingError::InstructionLibraryDecodingError(Problem problem, QString location,
                                                                 QString value)
    : FieldDecodingErrorOf(QStringLiteral("指令库文件格式不正确"), problem, std::move(location),
                           std::move(value)) {}

} // namespace tovalit
