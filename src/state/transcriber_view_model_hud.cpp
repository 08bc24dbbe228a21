// The toasts of the main window.

#include "state/shell/app_toasts.h"
#include "state/transcriber_view_model.h"

namespace tovalit {

void TranscriberViewModel::showAppToast(const QString &message, bool isError, double duration) {
    m_appToasts->showToast(message, isError, duration);
}

void TranscriberViewModel::showAppNotice(const QString &message) {
    m_appToasts->showNotice(message);
}

void TranscriberViewModel::appToastSurfaceShown() {
    m_appToasts->surfaceShown();
}

void TranscriberViewModel::appToastSurfaceHidden() {
    m_appToasts->surfaceHidden();
}

void TranscriberViewModel::publishAppToast(std::optional<AppToastState> toast) {
    m_appToast = std::move(toast);
    Q_EMIT appToastChanged(m_appToast);
}

} // namespace tovalit
