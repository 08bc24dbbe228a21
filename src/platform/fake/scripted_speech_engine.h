#pragma once

#include "platform/on_device_speech_engine.h"

#include <QStringList>

#include <mutex>
#include <vector>

namespace tovalit {

// An on-device engine the test drives by hand: it records what it is asked
// for, and the test delivers each task's results and errors, from whatever
// thread it likes.
class ScriptedSpeechEngine : public OnDeviceSpeechEngine {
public:
    struct RequestLog {
        int buffers = 0;
        qint64 frames = 0;
        bool audioEnded = false;
    };

    ScriptedSpeechEngine();
    ~ScriptedSpeechEngine() override;
    ScriptedSpeechEngine(const ScriptedSpeechEngine &) = delete;
    ScriptedSpeechEngine &operator=(const ScriptedSpeechEngine &) = delete;

    QCoro::Task<Authorization> requestAuthorization() override;
    std::shared_ptr<OnDeviceSpeechRecognizer>
    makeRecognizer(const QString &localeIdentifier) override;

    void setAuthorization(Authorization authorization);
    // Locales the engine has a recogniser for (default: "en-US").
    void setSupportedLocales(QStringList locales);
    void setRecognizersAvailable(bool available);

    QStringList requestedLocales() const;
    int taskCount() const;
    bool isTaskCancelled(int task) const;
    RequestLog requestOf(int task) const;

    // Hands task `task` (0 = the first ever started) a result or an error,
    // as the recogniser's thread would.
    void deliverResult(int task, const QString &text, bool isFinal);
    void deliverError(int task, std::exception_ptr error);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace tovalit
