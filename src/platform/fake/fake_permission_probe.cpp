#include "platform/fake/fake_permission_probe.h"

namespace tovalit {

void FakePermissionProbe::setMicrophone(MicrophoneAuthorizationStatus status) {
    std::lock_guard lock(m_mutex);
    m_microphone = status;
}

void FakePermissionProbe::setListenEventAccess(bool granted) {
    std::lock_guard lock(m_mutex);
    m_listen = granted;
}

void FakePermissionProbe::setTrusted(bool trusted) {
    std::lock_guard lock(m_mutex);
    m_trusted = trusted;
}

void FakePermissionProbe::answerMicrophoneRequestsWith(std::optional<bool> granted) {
    std::lock_guard lock(m_mutex);
    m_immediateAnswer = granted;
}

QStringList FakePermissionProbe::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void FakePermissionProbe::clearRequests() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

int FakePermissionProbe::pendingMicrophoneRequests() const {
    std::lock_guard lock(m_mutex);
    return int(m_pending.size());
}

bool FakePermissionProbe::answerMicrophoneRequest(bool granted) {
    std::function<void(bool)> completion;
    {
        std::lock_guard lock(m_mutex);
        if (m_pending.isEmpty())
            return false;
        completion = m_pending.takeFirst();
        m_microphone = granted ? MicrophoneAuthorizationStatus::authorized
                               : MicrophoneAuthorizationStatus::denied;
    }
    completion(granted);
    return true;
}

void FakePermissionProbe::holdAnswers() {
    std::lock_guard lock(m_mutex);
    m_held = true;
}

void FakePermissionProbe::releaseAnswers() {
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_released.notify_all();
}

int FakePermissionProbe::heldCalls() const {
    std::lock_guard lock(m_mutex);
    return m_heldCalls;
}

void FakePermissionProbe::waitWhileHeld(std::unique_lock<std::mutex> &lock) {
    ++m_heldCalls;
    m_released.wait(lock, [this] { return !m_held; });
    --m_heldCalls;
}

MicrophoneAuthorizationStatus FakePermissionProbe::microphoneAuthorizationStatus() {
    std::unique_lock lock(m_mutex);
    waitWhileHeld(lock);
    return m_microphone;
}

void FakePermissionProbe::requestMicrophoneAccess(std::function<void(bool granted)> completion) {
    std::optional<bool> answer;
    {
        std::lock_guard lock(m_mutex);
        m_requests.append(QStringLiteral("microphone"));
        answer = m_immediateAnswer;
        if (!answer) {
            m_pending.append(std::move(completion));
            return;
        }
        m_microphone = *answer ? MicrophoneAuthorizationStatus::authorized
                               : MicrophoneAuthorizationStatus::denied;
    }
    completion(*answer);
}

bool FakePermissionProbe::preflightListenEventAccess() {
    std::unique_lock lock(m_mutex);
    waitWhileHeld(lock);
    return m_listen;
}

void FakePermissionProbe::requestListenEventAccess() {
    std::lock_guard lock(m_mutex);
    m_requests.append(QStringLiteral("listen"));
}

bool FakePermissionProbe::isProcessTrusted(bool prompt) {
    std::unique_lock lock(m_mutex);
    waitWhileHeld(lock);
    if (prompt)
        m_requests.append(QStringLiteral("trust-prompt"));
    return m_trusted;
}

} // namespace tovalit
