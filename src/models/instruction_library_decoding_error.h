#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// "instruction-library.json" does not hold what the reader expects. The
// description names the member ("customEntries[2].category") so the user,
// or whoever helps them, can find the fault in the file.
class InstructionLibraryDecodingError : public AppError {
public:
    enum class Problem { NotAnObject, Missing, WrongType, UnknownValue, InvalidUuid, InvalidDate };

    InstructionLibraryDecodingError(Problem problem, QString location, QString value = {});

    Problem problem() const { return m_problem; }
    QString location() const { return m_location; }
    QString localizedDescription() const override;

    // The same error one level further out ("customEntries[2]" + "." + "id").
    InstructionLibraryDecodingError nestedIn(const QString &outerLocation) const;

private:
    Problem m_problem;
    QString m_location;
    QString m_value;
};

} // namespace tovalit
