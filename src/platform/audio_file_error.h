#pragma once

#include "support/app_error.h"

#include <QString>

namespace tovalit {

// Failures of the audio file and format layer (creating, writing, reading
// and converting audio). Callers pass them on unchanged.
class AudioFileError : public AppError {
public:
    enum class Kind { CreateFailed, WriteFailed, OpenFailed, ReadFailed, ConversionFailed };
    AudioFileError(Kind kind, QString detail);
    Kind kind() const { return m_kind; }
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    Kind m_kind;
    QString m_detail;
};

} // namespace tovalit
