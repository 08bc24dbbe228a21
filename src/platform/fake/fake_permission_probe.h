#pragma once

#include "platform/permission_probe.h"

#include <QList>
#include <QStringList>

#include <condition_variable>
#include <mutex>

namespace tovalit {

// Permission answers set by a test. Records every request ("microphone",
// "listen", "trust-prompt") in order; microphone requests wait until the
// test answers them, unless the probe is set to answer at once.
class FakePermissionProbe final : public PermissionProbe {
public:
    void setMicrophone(MicrophoneAuthorizationStatus status);
    void setListenEventAccess(bool granted);
    void setTrusted(bool trusted);
    // When set, a microphone request is answered at once with this value
    // (and the status becomes authorized or denied accordingly).
    void answerMicrophoneRequestsWith(std::optional<bool> granted);

    QStringList requests() const;
    void clearRequests();
    int pendingMicrophoneRequests() const;
    // Answers the oldest waiting microphone request; the status follows the
    // answer. False when none waits.
    bool answerMicrophoneRequest(bool granted);
    // While held, every answer waits (a system that is slow to answer)
    // until the answers are released.
    void holdAnswers();
    void releaseAnswers();
    // Calls waiting for the release.
    int heldCalls() const;

    MicrophoneAuthorizationStatus microphoneAuthorizationStatus() override;
    void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
    bool preflightListenEventAccess() override;
    void requestListenEventAccess() override;
    bool isProcessTrusted(bool prompt) override;

private:
    void waitWhileHeld(std::unique_lock<std::mutex> &lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
    int m_heldCalls = 0;
    MicrophoneAuthorizationStatus m_microphone = MicrophoneAuthorizationStatus::notDetermined;
    bool m_listen = false;
    bool m_trusted = false;
    std::optional<bool> m_immediateAnswer;
    QStringList m_requests;
    QList<std::function<void(bool)>> m_pending;
};

} // namespace tovalit
