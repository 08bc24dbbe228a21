#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// A data file does not hold what its reader expects. The detail names the
// member ("entries[2].kind"), so that the user, or whoever helps them, can
// find the fault in the file; each file's reader throws its own subclass
// (FieldDecodingErrorOf), whose description leads with what the file is.
class FieldDecodingError : public AppError {
public:
    enum class Problem { NotAnObject, Missing, WrongType, UnknownValue, InvalidUuid, InvalidDate };

    Problem problem() const { return m_problem; }
    QString location() const { return m_location; }
    QString localizedDescription() const override;
    // What is wrong, without the lead that names the file.
    QString detail() const;

protected:
    FieldDecodingError(QString lead, Problem problem, QString location, QString value);
    QString value() const { return m_value; }
    // The location one level further out ("entries[2]" + "." + "kind").
    QString locationWithin(const QString &outerLocation) const;

private:
    QString m_lead;
    Problem m_problem;
    QString m_location;
    QString m_value;
};

// The error of one file's reader: `Error` derives from it and is made
// from (problem, location, value).
template <class Error>
class FieldDecodingErrorOf : public FieldDecodingError {
public:
    // The same error one level further out.
    Error nestedIn(const QString &outerLocation) const {
        return Error(problem(), locationWithin(outerLocation), value());
    }

protected:
    using FieldDecodingError::FieldDecodingError;
};

} // namespace tovalit
