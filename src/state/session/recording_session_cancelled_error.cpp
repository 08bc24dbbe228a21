#include "state/session/recording_session_cancelled_error.h"

namespace tovalit {

QString RecordingSessionCancelledError::localizedDescription() const {
    return QStringLiteral("录音已取消。");
}

} // namespace tovalit
