#pragma once

#include "support/field_decoding_error.h"

namespace tovalit {

// The lexicon file (or an audit line) does not hold what the reader expects.
class LexiconDecodingError : public FieldDecodingErrorOf<LexiconDecodingError> {
public:
    LexiconDecodingError(Problem problem, QString location, QString value = {});
};

} // namespace tovalit
