#pragma once

#include "platform/permission_probe.h"

#include <QString>

#include <memory>
#include <mutex>

namespace tovalit {

class AudioInput;
class XcbConnection;

// The three permissions as a Linux desktop has them:
// - microphone: the sound server has a default input to record from (no
//   desktop asks the user first, so it is never undetermined);
// - input monitoring: at least one keyboard under /dev/input may be read
//   (usually through membership of the "input" group; nothing can prompt
//   for it);
// - accessibility: the session's accessibility bus answers with
//   accessibility switched on, and the X server offers synthetic input.
//   Asking for it switches the desktop's accessibility support on, which
//   is what toolkits wait for before they expose their widgets.
//
// Every answer is a round trip to the sound server, the session bus (up to
// a second each when the accessibility bus does not answer) or the X
// server: ask off the GUI thread. Any thread may ask.
class LinuxPermissionProbe final : public PermissionProbe {
public:
    LinuxPermissionProbe();
    // `accessibilityBusService`: the launcher of the accessibility bus on
    // the session bus.
    LinuxPermissionProbe(std::shared_ptr<AudioInput> audioInput, QString inputDeviceDirectory,
                         QString accessibilityBusService = QStringLiteral("org.a11y.Bus"));
    ~LinuxPermissionProbe() override;

    MicrophoneAuthorizationStatus microphoneAuthorizationStatus() override;
    void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
    bool preflightListenEventAccess() override;
    void requestListenEventAccess() override;
    bool isProcessTrusted(bool prompt) override;

private:
    bool hasSyntheticInput();

    std::shared_ptr<AudioInput> m_audioInput;
    QString m_inputDeviceDirectory;
    QString m_busService;
    std::mutex m_mutex;
    std::shared_ptr<XcbConnection> m_x;
};

} // namespace tovalit
