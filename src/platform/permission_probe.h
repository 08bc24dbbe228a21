#pragma once

#include <functional>

namespace tovalit {

// What the system says about recording from the microphone. The first four
// values are the classic authorisation answers; a system may answer with
// values of its own.
enum class MicrophoneAuthorizationStatus : int {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    authorized = 3,
    // There is nothing to record from: no sound server, or no input on it.
    unavailable = 4,
};

// The system's side of the three permissions the application needs:
// recording the microphone, reading the keyboard system-wide (input
// monitoring) and reaching into other applications (accessibility).
// Answers are asked anew at every call and may take a while on a real
// system (a server that is slow to answer): ask off the GUI thread.
class PermissionProbe {
public:
    virtual ~PermissionProbe() = default;

    // Without asking the user.
    virtual MicrophoneAuthorizationStatus microphoneAuthorizationStatus() = 0;
    // Asks the user when they were never asked; `completion` runs once,
    // on any thread, with whether the microphone may be used.
    virtual void requestMicrophoneAccess(std::function<void(bool granted)> completion) = 0;

    // Whether keyboard events may be read system-wide.
    virtual bool preflightListenEventAccess() = 0;
    // Asks the system for that access; the answer comes with a later
    // preflight.
    virtual void requestListenEventAccess() = 0;

    // Whether other applications' elements may be read and keys sent to
    // them. With `prompt` the system is asked to let us (which may show
    // the user a prompt); the answer is still the current one.
    virtual bool isProcessTrusted(bool prompt) = 0;
};

} // namespace tovalit
