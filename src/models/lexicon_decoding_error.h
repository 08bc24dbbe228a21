#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// The lexicon file (or an audit line) does not hold what the reader expects.
// The description names the member, e.g. "entries[2].kind", so a user or a
// support request can find the fault in the file.
class LexiconDecodingError : public AppError {
public:
    enum class Problem { NotAnObject, Missing, WrongType, UnknownValue, InvalidUuid, InvalidDate };

    LexiconDecodingError(Problem problem, QString location, QString value = {});

    Problem problem() const { return m_problem; }
    QString location() const { return m_location; }
    QString localizedDescription() const override;
    // What is wrong, without the lead that blames the lexicon's data.
    QString detail() const;

    // The same error one level further out ("entries[2]" + "." + "kind").
    LexiconDecodingError nestedIn(const QString &outerLocation) const;

private:
    Problem m_problem;
    QString m_location;
    QString m_value;
};

} // namespace tovalit
