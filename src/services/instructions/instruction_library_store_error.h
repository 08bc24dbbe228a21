#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

class InstructionLibraryStoreError : public AppError {
public:
    enum class Kind { ReadFailed, WriteFailed, SetAsideFailed };

    InstructionLibraryStoreError(Kind kind, QString detail);
    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

} // namespace tovalit
