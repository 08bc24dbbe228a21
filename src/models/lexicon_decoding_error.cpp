#include "models/lexicon_decoding_error.h"

namespace tovalit {

LexiconDecodingError::LexiconDecodingError(Problem problem, QString location, QString value)
    : FieldDecodingErrorOf(QStringLiteral("个人词库数据格式无效"), problem, std::move(location),
                           std::move(value)) {}

} // namespace tovalit
