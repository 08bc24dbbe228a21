#pragma once

#include "platform/permission_probe.h"

#include <memory>

namespace tovalit {

class AppConfigurationStore;

// The permission answers the coordinator last published, as the settings
// store caches them, for callers on the GUI thread that must answer at
// once: the hotkey monitor, which is started again whenever that cache
// changes, so it always decides on the latest answers without asking the
// system itself. Requests go to the system's probe off the GUI thread.
class PublishedPermissionProbe final : public PermissionProbe {
public:
    // `store` must outlive the probe.
    PublishedPermissionProbe(const AppConfigurationStore &store,
                             std::shared_ptr<PermissionProbe> system);

    MicrophoneAuthorizationStatus microphoneAuthorizationStatus() override;
    void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
    bool preflightListenEventAccess() override;
    void requestListenEventAccess() override;
    // The published answer; with `prompt` the system is asked in the
    // background, and its answer is published with the next refresh.
    bool isProcessTrusted(bool prompt) override;

private:
    void inBackground(std::function<void(PermissionProbe &system)> work);

    const AppConfigurationStore &m_store;
    std::shared_ptr<PermissionProbe> m_system;
};

} // namespace tovalit
