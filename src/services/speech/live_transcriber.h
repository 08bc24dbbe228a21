#pragma once

#include "platform/pcm_buffer.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>

namespace tovalit {

// What the dictation controller needs of a live speech recogniser. Objects
// are shared (std::shared_ptr): callbacks hold them weakly.
//
// Calling order every recogniser accepts: set the callbacks; start(); once
// it has returned, any number of append() from the capture thread; one
// finish(); cancel() at any time, also after finish().
class LiveTranscriber {
public:
    // The whole utterance so far (not a delta), delivered on the GUI thread.
    using PartialCallback = std::function<void(const QString &text)>;

    virtual ~LiveTranscriber() = default;

    // Set before start().
    virtual void setOnPartial(PartialCallback callback) = 0;
    // Shown in the status note.
    virtual QString engineName() const = 0;
    // Opens the recognition session; returns once it has been accepted.
    virtual QCoro::Task<void> start() = 0;
    // One captured buffer in any PCM format. Called on the capture thread:
    // returns at once and never fails (conversion failures surface through
    // finish()). The buffer is only valid during the call; a recogniser
    // that keeps it copies it (PCMBufferSnapshot::makeOwnedCopy).
    virtual void append(const PcmBuffer &buffer) = 0;
    // Ends the audio and returns the final text.
    virtual QCoro::Task<QString> finish() = 0;
    // Abandons the session; a pending start() or finish() is resolved at
    // once.
    virtual void cancel() = 0;
};

// A recogniser whose stream can break while the user speaks.
class InterruptibleLiveTranscriber : public LiveTranscriber {
public:
    // Called on whatever thread noticed the break, each time the stream
    // breaks; a receiver that touches GUI state moves there itself.
    using InterruptionCallback = std::function<void(std::exception_ptr error)>;

    virtual void setOnInterruption(InterruptionCallback callback) = 0;
};

} // namespace tovalit
