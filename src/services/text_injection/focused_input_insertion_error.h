#pragma once

#include "support/app_error.h"

namespace tovalit {

// Why a step of delivering text into the focused input failed.
class FocusedInputInsertionError : public AppError {
public:
    enum class Kind { focusedElementUnavailable, pasteboardWriteFailed, pasteSimulationFailed };

    explicit FocusedInputInsertionError(Kind kind)
        : m_kind(kind) {}
    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;

    bool operator==(const FocusedInputInsertionError &other) const {
        return m_kind == other.m_kind;
    }

private:
    Kind m_kind;
};

} // namespace tovalit
