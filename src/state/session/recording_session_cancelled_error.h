#pragma once

#include "support/app_error.h"

namespace tovalit {

// A recording start that was overtaken: the session was cancelled or
// replaced while the microphone was being opened.
class RecordingSessionCancelledError : public AppError {
public:
    // "录音已取消。"
    QString localizedDescription() const override;
};

} // namespace tovalit
