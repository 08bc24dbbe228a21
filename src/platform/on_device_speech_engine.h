#pragma once

#include "platform/pcm_buffer.h"
#include "support/app_error.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

// A failure inside the on-device recogniser (its model, its decoder).
class OnDeviceSpeechError : public AppError {
public:
    explicit OnDeviceSpeechError(QString detail);
    QString detail() const { return m_detail; }
    QString localizedDescription() const override;

private:
    QString m_detail;
};

// One recognition outcome: the best transcription so far of the current
// task, and whether the recogniser has ended the task with it.
struct OnDeviceRecognitionResult {
    QString bestTranscription;
    bool isFinal = false;
};

// Where a task's audio goes.
class OnDeviceRecognitionRequest {
public:
    virtual ~OnDeviceRecognitionRequest() = default;
    // A captured buffer in any PCM format; from any thread, never blocks.
    virtual void append(const PcmBuffer &buffer) = 0;
    // No more audio: the task ends with a final result. Never blocks and
    // never calls back before returning.
    virtual void endAudio() = 0;
};

class OnDeviceRecognitionTask {
public:
    virtual ~OnDeviceRecognitionTask() = default;
    // Ends the task; its handler is not called afterwards. From any thread.
    virtual void cancel() = 0;
};

// Called on the recogniser's own thread with a result or an error. A task
// ends after a final result or an error.
using OnDeviceRecognitionHandler = std::function<void(
    const std::optional<OnDeviceRecognitionResult> &result, std::exception_ptr error)>;

// A recogniser for one locale. Tasks run one after another; a task may be
// started from within another task's handler.
class OnDeviceSpeechRecognizer {
public:
    virtual ~OnDeviceSpeechRecognizer() = default;
    virtual bool isAvailable() const = 0;
    // A request that reports partial results, tuned for dictation.
    virtual std::shared_ptr<OnDeviceRecognitionRequest> makeRequest() = 0;
    virtual std::shared_ptr<OnDeviceRecognitionTask>
    recognitionTask(std::shared_ptr<OnDeviceRecognitionRequest> request,
                    OnDeviceRecognitionHandler handler) = 0;
};

// Speech recognition on this computer.
class OnDeviceSpeechEngine {
public:
    enum class Authorization { notDetermined, denied, restricted, authorized };

    virtual ~OnDeviceSpeechEngine() = default;
    virtual QCoro::Task<Authorization> requestAuthorization() = 0;
    // A recogniser for the locale ("en-US", "zh-CN"), or none when the
    // engine has no model for it. May take a while (models load here): call
    // it off the GUI thread.
    virtual std::shared_ptr<OnDeviceSpeechRecognizer>
    makeRecognizer(const QString &localeIdentifier) = 0;
};

} // namespace tovalit
