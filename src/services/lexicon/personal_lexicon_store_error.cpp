#include "services/lexicon/personal_lexicon_store_error.h"

namespace tovalit {

PersonalLexiconStoreError::PersonalLexiconStoreError(Kind kind, QString detail)
    : DataFileError(QStringLiteral("个人词库文件"), kind, std::move(detail)) {}

} // namespace tovalit
