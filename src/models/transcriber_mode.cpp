#include "models/transcriber_mode.h"

namespace tovalit {

QString displayName(TranscriberMode mode) {
    switch (mode) {
    case TranscriberMode::natural:
        return QStringLiteral("自然模式");
    case TranscriberMode::meeting:
        return QStringLiteral("纪要模式");
    }
    return {};
}

} // namespace tovalit
