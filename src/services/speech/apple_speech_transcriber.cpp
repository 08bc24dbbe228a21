#include "services/speech/apple_speech_transcriber.h"

#include "platform/linux/pocketsphinx_speech_engine.h"
#include "support/gui_thread.h"
#include "support/run_in_background.h"
#include "support/textkit.h"

#include <QFuture>
#include <qcoro/qcorofuture.h>

namespace tovalit {

namespace {

using Error = AppleSpeechTranscriberError;

// What to do about a recognition event, decided under the lock and carried
// out after it.
enum class Action { ignore, report, complete, nextSegment, fail };

std::function<std::shared_ptr<OnDeviceSpeechRecognizer>()>
recognizerLookup(std::shared_ptr<OnDeviceSpeechEngine> engine, QString localeIdentifier) {
    return [engine, localeIdentifier] {
        auto recognizer = engine->makeRecognizer(localeIdentifier);
        if (!recognizer)
            recognizer = engine->makeRecognizer(
                QString::fromLatin1(AppleSpeechTranscriber::fallbackLocaleIdentifier));
        return recognizer;
    };
}

} // namespace

AppleSpeechTranscriber::AppleSpeechTranscriber(QString localeIdentifier,
                                               std::shared_ptr<OnDeviceSpeechEngine> engine,
                                               Sleeper sleeper)
    : m_localeIdentifier(std::move(localeIdentifier))
    , m_engine(engine ? std::move(engine) : std::make_shared<PocketSphinxSpeechEngine>())
    , m_sleeper(std::move(sleeper)) {}

AppleSpeechTranscriber::~AppleSpeechTranscriber() {
    m_finalizationWatchdog.cancel();
    if (m_task)
        m_task->cancel();
}

void AppleSpeechTranscriber::setOnPartial(PartialCallback callback) {
    m_onPartial = std::move(callback);
}

QString AppleSpeechTranscriber::engineName() const {
    return QStringLiteral("本地实时转写");
}

QString AppleSpeechTranscriber::combined(const QString &completed, const QString &partial) {
    if (completed.isEmpty())
        return partial;
    if (partial.isEmpty())
        return completed;
    return completed + u'\n' + partial;
}

QString AppleSpeechTranscriber::appendingSegment(const QString &completed, const QString &segment) {
    const QString trimmed = textkit::trimmed(segment);
    return trimmed.isEmpty() ? completed : combined(completed, trimmed);
}

QCoro::Task<void> AppleSpeechTranscriber::start() {
    const auto self = shared_from_this();
    const auto authorization = co_await m_engine->requestAuthorization();
    if (authorization != OnDeviceSpeechEngine::Authorization::authorized)
        throw Error(Error::Kind::speechPermissionDenied);
    // Loading a model takes a moment: not on the GUI thread.
    const auto recognizer = co_await runInBackground<std::shared_ptr<OnDeviceSpeechRecognizer>>(
        recognizerLookup(m_engine, m_localeIdentifier));
    if (!recognizer || !recognizer->isAvailable())
        throw Error(Error::Kind::recognizerUnavailable);

    cancel();
    {
        std::lock_guard lock(m_stateLock);
        m_recognizer = recognizer;
        m_lastTranscript.clear();
        m_completedTranscript.clear();
        m_currentSegmentTranscript.clear();
        m_pendingCompletionResult.reset();
        m_isFinishing = false;
    }
    beginRecognitionTask(recognizer);
}

void AppleSpeechTranscriber::append(const PcmBuffer &buffer) {
    std::shared_ptr<OnDeviceRecognitionRequest> request;
    {
        std::lock_guard lock(m_stateLock);
        request = m_request;
    }
    if (request)
        request->append(buffer);
}

QCoro::Task<QString> AppleSpeechTranscriber::finish() {
    // Alive until the outcome is in, whatever the owner does meanwhile.
    const auto self = shared_from_this();
    std::optional<Outcome> pending;
    {
        std::lock_guard lock(m_stateLock);
        m_isFinishing = true;
        if (m_request)
            m_request->endAudio();
        pending.swap(m_pendingCompletionResult);
    }
    if (pending) {
        if (pending->error)
            std::rethrow_exception(pending->error);
        co_return pending->text;
    }

    auto waiter = std::make_shared<QPromise<QString>>();
    QFuture<QString> outcome = waiter->future();
    waiter->start();
    {
        std::lock_guard lock(m_stateLock);
        pending.swap(m_pendingCompletionResult);
        if (!pending) {
            m_completionContinuation = waiter;
            m_finalizationWatchdog.cancel();
            m_finalizationWatchdog = startFinalizationWatchdog();
        }
    }
    if (pending)
        deliver(waiter, *pending);
    co_return co_await outcome;
}

// Outside the coroutine above: GCC 12 mangles the captures of lambdas made
// inside a coroutine frame.
TaskHandle AppleSpeechTranscriber::startFinalizationWatchdog() {
    return spawnCancellable(
        nullptr,
        [weak = weak_from_this(), sleeper = m_sleeper](CancelToken token) {
            return watchFinalization(weak, sleeper, token);
        },
        QStringLiteral("on-device finalization watchdog"));
}

QCoro::Task<void>
AppleSpeechTranscriber::watchFinalization(std::weak_ptr<AppleSpeechTranscriber> transcriber,
                                          Sleeper sleeper, CancelToken token) {
    co_await sleeper(finalizationTimeoutSeconds, token);
    if (token.isCancelled())
        co_return;
    if (const auto self = transcriber.lock())
        self->resolveCompletion(
            {QString(), std::make_exception_ptr(Error::finalizationTimedOut(self->snapshot()))});
}

void AppleSpeechTranscriber::cancel() {
    TaskHandle watchdog;
    std::shared_ptr<OnDeviceRecognitionTask> task;
    Waiter waiter;
    QString lastText;
    {
        std::lock_guard lock(m_stateLock);
        std::swap(watchdog, m_finalizationWatchdog);
        task = std::move(m_task);
        m_request.reset();
        m_recognizer.reset();
        m_pendingCompletionResult.reset();
        m_isFinishing = false;
        m_completedTranscript.clear();
        m_currentSegmentTranscript.clear();
        waiter = std::move(m_completionContinuation);
        lastText = textkit::trimmed(m_lastTranscript);
    }
    watchdog.cancel();
    if (task)
        task->cancel();
    if (waiter)
        deliver(waiter, {lastText, nullptr});
}

void AppleSpeechTranscriber::beginRecognitionTask(
    std::shared_ptr<OnDeviceSpeechRecognizer> recognizer) {
    const auto request = recognizer->makeRequest();
    int recognitionID = 0;
    {
        std::lock_guard lock(m_stateLock);
        m_request = request;
        // The previous task is let go, not cancelled: it may still deliver
        // its last words, which its old number then makes harmless.
        m_task.reset();
        m_currentSegmentTranscript.clear();
        recognitionID = ++m_activeRecognitionID;
    }
    const std::weak_ptr<AppleSpeechTranscriber> weak = weak_from_this();
    const auto task = recognizer->recognitionTask(
        request, [weak, recognitionID](const std::optional<OnDeviceRecognitionResult> &result,
                                       std::exception_ptr error) {
            const auto self = weak.lock();
            if (!self)
                return;
            if (result)
                self->handleResult(recognitionID, *result);
            if (error)
                self->handleError(recognitionID, error);
        });
    bool superseded = false;
    {
        std::lock_guard lock(m_stateLock);
        if (m_activeRecognitionID == recognitionID)
            m_task = task;
        else
            superseded = true;
    }
    if (superseded && task)
        task->cancel();
}

void AppleSpeechTranscriber::handleResult(int recognitionID,
                                          const OnDeviceRecognitionResult &result) {
    const QString text = textkit::trimmed(result.bestTranscription);
    Action action = Action::ignore;
    QString actionText;
    {
        std::lock_guard lock(m_stateLock);
        if (m_activeRecognitionID != recognitionID)
            return;
        if (!text.isEmpty()) {
            m_currentSegmentTranscript = text;
            m_lastTranscript = combined(m_completedTranscript, text);
        }
        if (result.isFinal && !m_isFinishing) {
            m_completedTranscript = appendingSegment(
                m_completedTranscript, text.isEmpty() ? m_currentSegmentTranscript : text);
            m_currentSegmentTranscript.clear();
            m_lastTranscript = m_completedTranscript;
            action = Action::nextSegment;
        } else if (result.isFinal) {
            action = Action::complete;
        } else if (!m_lastTranscript.isEmpty()) {
            action = Action::report;
        }
        actionText = m_lastTranscript;
    }
    switch (action) {
    case Action::report:
        emitText(actionText);
        break;
    case Action::complete:
        emitText(actionText);
        resolveCompletion({snapshot(), nullptr});
        break;
    case Action::nextSegment:
        emitText(actionText);
        restart(recognitionID);
        break;
    case Action::ignore:
    case Action::fail:
        break;
    }
}

void AppleSpeechTranscriber::handleError(int recognitionID, std::exception_ptr error) {
    Action action = Action::ignore;
    QString actionText;
    {
        std::lock_guard lock(m_stateLock);
        if (m_activeRecognitionID != recognitionID)
            return;
        const QString text = combined(m_completedTranscript, m_currentSegmentTranscript);
        m_lastTranscript = text;
        if (!m_isFinishing) {
            m_completedTranscript =
                appendingSegment(m_completedTranscript, m_currentSegmentTranscript);
            m_currentSegmentTranscript.clear();
            m_lastTranscript = m_completedTranscript;
            action = Action::nextSegment;
            actionText = m_lastTranscript;
        } else {
            action = text.isEmpty() ? Action::fail : Action::complete;
            actionText = text;
        }
    }
    switch (action) {
    case Action::fail:
        resolveCompletion({QString(), error});
        break;
    case Action::complete:
        emitText(actionText);
        resolveCompletion({actionText, nullptr});
        break;
    case Action::nextSegment:
        if (!actionText.isEmpty())
            emitText(actionText);
        restart(recognitionID);
        break;
    case Action::ignore:
    case Action::report:
        break;
    }
}

void AppleSpeechTranscriber::restart(int recognitionID) {
    std::shared_ptr<OnDeviceSpeechRecognizer> recognizer;
    std::shared_ptr<OnDeviceRecognitionTask> task;
    {
        std::lock_guard lock(m_stateLock);
        if (m_activeRecognitionID != recognitionID || m_isFinishing)
            return;
        recognizer = m_recognizer;
        task = std::move(m_task);
        // Dropped without ending its audio: the next task takes over.
        m_request.reset();
    }
    if (task)
        task->cancel();
    if (recognizer)
        beginRecognitionTask(recognizer);
}

void AppleSpeechTranscriber::emitText(const QString &text) {
    const QString trimmed = textkit::trimmed(text);
    if (trimmed.isEmpty())
        return;
    // onPartial is read on the GUI thread, where it is set.
    postToGuiThread([weak = weak_from_this(), trimmed] {
        if (const auto self = weak.lock(); self && self->m_onPartial)
            self->m_onPartial(trimmed);
    });
}

void AppleSpeechTranscriber::resolveCompletion(Outcome outcome) {
    TaskHandle watchdog;
    std::shared_ptr<OnDeviceRecognitionTask> task;
    Waiter waiter;
    {
        std::lock_guard lock(m_stateLock);
        if (!m_task && !m_request && !m_completionContinuation)
            return;
        std::swap(watchdog, m_finalizationWatchdog);
        task = std::move(m_task);
        m_request.reset();
        m_recognizer.reset();
        m_isFinishing = false;
        if (m_completionContinuation)
            waiter = std::move(m_completionContinuation);
        else
            m_pendingCompletionResult = outcome;
    }
    watchdog.cancel();
    if (task)
        task->cancel();
    if (waiter)
        deliver(waiter, outcome);
}

QString AppleSpeechTranscriber::snapshot() const {
    std::lock_guard lock(m_stateLock);
    return textkit::trimmed(combined(m_completedTranscript, m_currentSegmentTranscript));
}

void AppleSpeechTranscriber::deliver(const Waiter &waiter, const Outcome &outcome) {
    if (outcome.error)
        waiter->setException(outcome.error);
    else
        waiter->addResult(outcome.text);
    waiter->finish();
}

} // namespace tovalit
