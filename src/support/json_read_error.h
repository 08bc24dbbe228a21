#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// A body that should have been JSON and is not. Passed on as it is by the
// clients that do not map it to an error of their own.
class JsonReadError : public AppError {
public:
    explicit JsonReadError(QString detail);
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    QString m_detail;
};

} // namespace tovalit
