#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

class PersonalLexiconStoreError : public AppError {
public:
    // NotRead: a save refused because the last load could not read the
    // file, which is kept as it is.
    enum class Kind { ReadFailed, WriteFailed, SetAsideFailed, NotRead };

    PersonalLexiconStoreError(Kind kind, QString detail);
    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

} // namespace tovalit
