#include "platform/fake/scripted_speech_engine.h"

namespace tovalit {

namespace {

class ScriptedRequest;

struct TaskRecord {
    std::shared_ptr<ScriptedRequest> request;
    OnDeviceRecognitionHandler handler;
    bool cancelled = false;
};

} // namespace

struct ScriptedSpeechEngine::State {
    mutable std::mutex mutex;
    Authorization authorization = Authorization::authorized;
    QStringList supportedLocales{QStringLiteral("en-US")};
    bool recognizersAvailable = true;
    QStringList requestedLocales;
    std::vector<TaskRecord> tasks;
};

namespace {

class ScriptedRequest : public OnDeviceRecognitionRequest {
public:
    explicit ScriptedRequest(std::shared_ptr<ScriptedSpeechEngine::State> state)
        : m_state(std::move(state)) {}

    void append(const PcmBuffer &buffer) override {
        std::lock_guard lock(m_state->mutex);
        ++log.buffers;
        log.frames += buffer.frameLength();
    }
    void endAudio() override {
        std::lock_guard lock(m_state->mutex);
        log.audioEnded = true;
    }

    ScriptedSpeechEngine::RequestLog log; // guarded by the state's mutex

private:
    std::shared_ptr<ScriptedSpeechEngine::State> m_state;
};

class ScriptedTask : public OnDeviceRecognitionTask {
public:
    ScriptedTask(std::shared_ptr<ScriptedSpeechEngine::State> state, size_t index)
        : m_state(std::move(state))
        , m_index(index) {}

    void cancel() override {
        std::lock_guard lock(m_state->mutex);
        m_state->tasks[m_index].cancelled = true;
    }

private:
    std::shared_ptr<ScriptedSpeechEngine::State> m_state;
    size_t m_index;
};

class ScriptedRecognizer : public OnDeviceSpeechRecognizer {
public:
    ScriptedRecognizer(std::shared_ptr<ScriptedSpeechEngine::State> state, bool available)
        : m_state(std::move(state))
        , m_available(available) {}

    bool isAvailable() const override { return m_available; }
    std::shared_ptr<OnDeviceRecognitionRequest> makeRequest() override {
        return std::make_shared<ScriptedRequest>(m_state);
    }
    std::shared_ptr<OnDeviceRecognitionTask>
    recognitionTask(std::shared_ptr<OnDeviceRecognitionRequest> request,
                    OnDeviceRecognitionHandler handler) override {
        std::lock_guard lock(m_state->mutex);
        m_state->tasks.push_back(
            {std::static_pointer_cast<ScriptedRequest>(request), std::move(handler), false});
        return std::make_shared<ScriptedTask>(m_state, m_state->tasks.size() - 1);
    }

private:
    std::shared_ptr<ScriptedSpeechEngine::State> m_state;
    bool m_available;
};

} // namespace

ScriptedSpeechEngine::ScriptedSpeechEngine()
    : m_state(std::make_shared<State>()) {}

ScriptedSpeechEngine::~ScriptedSpeechEngine() {
    // The task records hold the requests and the requests hold the state:
    // left as they are, the two keep each other, and every transcriber a
    // task's handler still points at, alive.
    std::vector<TaskRecord> tasks;
    std::lock_guard lock(m_state->mutex);
    tasks.swap(m_state->tasks);
}

QCoro::Task<OnDeviceSpeechEngine::Authorization> ScriptedSpeechEngine::requestAuthorization() {
    std::lock_guard lock(m_state->mutex);
    co_return m_state->authorization;
}

std::shared_ptr<OnDeviceSpeechRecognizer>
ScriptedSpeechEngine::makeRecognizer(const QString &localeIdentifier) {
    std::lock_guard lock(m_state->mutex);
    m_state->requestedLocales.append(localeIdentifier);
    if (!m_state->supportedLocales.contains(localeIdentifier))
        return nullptr;
    return std::make_shared<ScriptedRecognizer>(m_state, m_state->recognizersAvailable);
}

void ScriptedSpeechEngine::setAuthorization(Authorization authorization) {
    std::lock_guard lock(m_state->mutex);
    m_state->authorization = authorization;
}

void ScriptedSpeechEngine::setSupportedLocales(QStringList locales) {
    std::lock_guard lock(m_state->mutex);
    m_state->supportedLocales = std::move(locales);
}

void ScriptedSpeechEngine::setRecognizersAvailable(bool available) {
    std::lock_guard lock(m_state->mutex);
    m_state->recognizersAvailable = available;
}

QStringList ScriptedSpeechEngine::requestedLocales() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->requestedLocales;
}

int ScriptedSpeechEngine::taskCount() const {
    std::lock_guard lock(m_state->mutex);
    return int(m_state->tasks.size());
}

bool ScriptedSpeechEngine::isTaskCancelled(int task) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->tasks.at(size_t(task)).cancelled;
}

ScriptedSpeechEngine::RequestLog ScriptedSpeechEngine::requestOf(int task) const {
    std::lock_guard lock(m_state->mutex);
    return m_state->tasks.at(size_t(task)).request->log;
}

void ScriptedSpeechEngine::deliverResult(int task, const QString &text, bool isFinal) {
    OnDeviceRecognitionHandler handler;
    {
        std::lock_guard lock(m_state->mutex);
        handler = m_state->tasks.at(size_t(task)).handler;
    }
    handler(OnDeviceRecognitionResult{text, isFinal}, nullptr);
}

void ScriptedSpeechEngine::deliverError(int task, std::exception_ptr error) {
    OnDeviceRecognitionHandler handler;
    {
        std::lock_guard lock(m_state->mutex);
        handler = m_state->tasks.at(size_t(task)).handler;
    }
    handler(std::nullopt, error);
}

} // namespace tovalit
