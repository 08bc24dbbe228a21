#pragma once

#include "platform/on_device_speech_engine.h"
#include "services/speech/apple_speech_transcriber_error.h"
#include "services/speech/live_transcriber.h"
#include "support/sleeper.h"
#include "support/spawn.h"

#include <QPromise>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

namespace tovalit {

// A live transcriber on the computer's own speech recogniser. Long
// dictation is split into segments: whenever the recogniser ends a task on
// its own (a final result, or an error while the user still speaks), the
// segment's text joins the text completed so far and a fresh task starts.
//
// Create with std::make_shared: recogniser callbacks hold it weakly. Every
// operation may be called from any thread; partial texts reach onPartial
// on the GUI thread, in order.
class AppleSpeechTranscriber : public LiveTranscriber,
                               public std::enable_shared_from_this<AppleSpeechTranscriber> {
public:
    static constexpr double finalizationTimeoutSeconds = 6;
    // Tried when the engine has no model for the requested locale.
    static constexpr const char *fallbackLocaleIdentifier = "zh-CN";

    // The default engine is PocketSphinx with its installed models.
    explicit AppleSpeechTranscriber(QString localeIdentifier,
                                    std::shared_ptr<OnDeviceSpeechEngine> engine = nullptr,
                                    Sleeper sleeper = systemSleeper());
    ~AppleSpeechTranscriber() override;

    void setOnPartial(PartialCallback callback) override;
    QString engineName() const override;
    // Throws AppleSpeechTranscriberError (permission, no recogniser).
    QCoro::Task<void> start() override;
    void append(const PcmBuffer &buffer) override;
    // The completed segments and the last one, joined by line feeds.
    // Throws finalizationTimedOut after 6 s without a final result, or the
    // recogniser's error when nothing at all was recognised.
    QCoro::Task<QString> finish() override;
    // Abandons recognition; a waiting finish() returns the last text.
    void cancel() override;

    // "completed\npartial", or whichever is not empty.
    static QString combined(const QString &completed, const QString &partial);
    // The segment, trimmed, joined onto the completed text.
    static QString appendingSegment(const QString &completed, const QString &segment);

private:
    struct Outcome {
        QString text;
        std::exception_ptr error;
    };
    using Waiter = std::shared_ptr<QPromise<QString>>;

    void beginRecognitionTask(std::shared_ptr<OnDeviceSpeechRecognizer> recognizer);
    void handleResult(int recognitionID, const OnDeviceRecognitionResult &result);
    void handleError(int recognitionID, std::exception_ptr error);
    void restart(int recognitionID);
    void emitText(const QString &text);
    void resolveCompletion(Outcome outcome);
    QString snapshot() const;
    static void deliver(const Waiter &waiter, const Outcome &outcome);
    TaskHandle startFinalizationWatchdog();
    static QCoro::Task<void> watchFinalization(std::weak_ptr<AppleSpeechTranscriber> transcriber,
                                               Sleeper sleeper, CancelToken token);

    // Set and read on the GUI thread only.
    PartialCallback m_onPartial;
    const QString m_localeIdentifier;
    const std::shared_ptr<OnDeviceSpeechEngine> m_engine;
    const Sleeper m_sleeper;

    // Guards everything below. No call into the recogniser is made while
    // holding it, but ending the request's audio.
    mutable std::mutex m_stateLock;
    std::shared_ptr<OnDeviceSpeechRecognizer> m_recognizer;
    std::shared_ptr<OnDeviceRecognitionRequest> m_request;
    std::shared_ptr<OnDeviceRecognitionTask> m_task;
    QString m_lastTranscript;
    QString m_completedTranscript;
    QString m_currentSegmentTranscript;
    Waiter m_completionContinuation;
    std::optional<Outcome> m_pendingCompletionResult;
    TaskHandle m_finalizationWatchdog;
    bool m_isFinishing = false;
    int m_activeRecognitionID = 0;
};

} // namespace tovalit
