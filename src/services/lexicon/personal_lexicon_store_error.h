#pragma once

#include "support/data_file_error.h"

namespace tovalit {

// "personal-lexicon.json" could not be read, written or kept.
class PersonalLexiconStoreError : public DataFileError {
public:
    PersonalLexiconStoreError(Kind kind, QString detail);
};

} // namespace tovalit
