#pragma once

// Doubles and a fixture that drive whole dictations through the controller:
// a scripted live recogniser, a panel that writes down what it was told, a
// gateway session service with scripted answers, recording runners for
// formatting, file recognition, insertion and context, and a real capture
// service over a fake microphone writing real recordings into the test's
// own history folder.

#include "models/recording_hud_display_state.h"
#include "platform/fake/fake_accessibility.h"
#include "platform/fake/fake_audio_input.h"
#include "platform/fake/fake_escape_key_sender.h"
#include "platform/fake/fake_function_key_source.h"
#include "platform/fake/fake_global_hot_key.h"
#include "platform/fake/fake_permission_probe.h"
#include "platform/fake/fake_screen_capture.h"
#include "platform/fake/fake_system_settings_opener.h"
#include "platform/fake/fake_window_system.h"
#include "platform/fake/in_memory_defaults_store.h"
#include "platform/fake/in_memory_pasteboard.h"
#include "platform/fake/recording_file_viewer.h"
#include "platform/fake/recording_key_sender.h"
#include "platform/fake/scripted_command_runner.h"
#include "services/capture/audio_capture_service.h"
#include "services/context/active_interaction_context_service.h"
#include "services/context/screen_text_capture.h"
#include "services/gateway/gateway_session_providing.h"
#include "services/history/history_store.h"
#include "services/instructions/instruction_library_store.h"
#include "services/lexicon/personal_lexicon_event_logger.h"
#include "services/lexicon/personal_lexicon_store.h"
#include "services/settings/app_configuration_store.h"
#include "services/shortcuts/delay_scheduler.h"
#include "services/shortcuts/emoji_panel_dismissal_service.h"
#include "services/shortcuts/function_key_system_settings.h"
#include "services/shortcuts/hotkey_monitor.h"
#include "services/text_injection/focused_input_insertion_service.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/transcriber_view_model.h"
#include "tests/services/shortcuts/shortcut_test_support.h"
#include "tests/support/capture_log.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <QDir>
#include <QFuture>
#include <QPromise>
#include <qcoro/qcorofuture.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <gtest/gtest.h>
#include <mutex>
#include <utility>
#include <variant>
#include <vector>

namespace tovalit {
inline void PrintTo(const RecordingState &state, std::ostream *out) {
    *out << describe(state).toStdString();
}
} // namespace tovalit

namespace tovalit::testing {

// --- Small helpers ------------------------------------------------------------------

// A wait that ends when the test opens it, or when the test ends.
class Gate {
public:
    Gate() {
        m_promise->start();
        std::lock_guard lock(registryMutex());
        registry().push_back(m_promise);
    }
    QCoro::Task<void> wait() { return waitFor(m_promise->future()); }
    void open() {
        if (!m_promise->future().isFinished())
            m_promise->finish();
    }
    // Opens every gate still closed. A coroutine waiting on a gate holds
    // it, so one the test left closed would keep that coroutine, and all
    // it holds, waiting past the end of the process.
    static void openAll() {
        std::vector<std::weak_ptr<QPromise<void>>> gates;
        {
            std::lock_guard lock(registryMutex());
            gates.swap(registry());
        }
        for (const auto &gate : gates) {
            if (const auto promise = gate.lock(); promise && !promise->future().isFinished())
                promise->finish();
        }
    }

private:
    static QCoro::Task<void> waitFor(QFuture<void> future) { co_await future; }
    static std::vector<std::weak_ptr<QPromise<void>>> &registry() {
        static std::vector<std::weak_ptr<QPromise<void>>> gates;
        return gates;
    }
    static std::mutex &registryMutex() {
        static std::mutex mutex;
        return mutex;
    }
    std::shared_ptr<QPromise<void>> m_promise = std::make_shared<QPromise<void>>();
};

// Stops one thread once, where it calls here() after arm(), until the
// test resumes it: what that thread does next comes after whatever the test
// does meanwhile. The history store's worker calls here() as it reads its
// clock, which it does when it rebuilds records from transcript files (in
// every load and append once a transcript exists).
class ThreadPause {
public:
    void arm() {
        std::lock_guard lock(m_mutex);
        m_armed = true;
    }
    void here() {
        std::unique_lock lock(m_mutex);
        if (!m_armed)
            return;
        m_armed = false;
        m_reached = true;
        m_resumed.wait(lock, [this] { return !m_reached; });
    }
    bool reached() const {
        std::lock_guard lock(m_mutex);
        return m_reached;
    }
    void resume() {
        {
            std::lock_guard lock(m_mutex);
            m_armed = false;
            m_reached = false;
        }
        m_resumed.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_resumed;
    bool m_armed = false;
    bool m_reached = false;
};

template <typename Error>
std::exception_ptr errorOf(Error error) {
    return std::make_exception_ptr(std::move(error));
}

// A scripted answer: the value or the error, once the gate (if any) opens.
template <typename T>
QCoro::Task<T> answerAfter(std::variant<T, std::exception_ptr> outcome,
                           std::shared_ptr<Gate> gate) {
    if (gate)
        co_await gate->wait();
    if (auto *error = std::get_if<std::exception_ptr>(&outcome))
        std::rethrow_exception(*error);
    co_return std::get<0>(std::move(outcome));
}

// A plain error with a text, like the platform's networking failures.
class TextError : public AppError {
public:
    explicit TextError(QString text)
        : m_text(std::move(text)) {}
    QString localizedDescription() const override { return m_text; }

private:
    QString m_text;
};

// A time the test moves by hand; both clocks of the controller read it, and
// its monotonic clock follows every advance but not a step of the wall clock.
class ManualTime {
public:
    QDateTime now() const {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    double uptime() const {
        std::lock_guard lock(m_mutex);
        return m_uptime;
    }
    void advance(double seconds) {
        std::lock_guard lock(m_mutex);
        m_now = m_now.addMSecs(qint64(seconds * 1000.0));
        m_uptime += seconds;
    }
    // The user (or the network time service) sets the wall clock.
    void stepWallClock(double seconds) {
        std::lock_guard lock(m_mutex);
        m_now = m_now.addMSecs(qint64(seconds * 1000.0));
    }
    Clock clock() {
        return [this] { return now(); };
    }
    MonotonicClock monotonicClock() {
        return [this] { return uptime(); };
    }

private:
    mutable std::mutex m_mutex;
    QDateTime m_now = QDateTime(QDate(2026, 3, 7), QTime(9, 0), Qt::UTC);
    double m_uptime = 1000.0;
};

// Sleeps that end only when the test wakes them, or when cancelled.
class ManualSleeps {
public:
    struct Sleep {
        double seconds = 0;
        CancelToken token;
        std::shared_ptr<Gate> gate;
        std::shared_ptr<CancelSubscription> subscription;
    };
    Sleeper sleeper() {
        return [sleeps = m_sleeps](double seconds, CancelToken token) {
            auto gate = std::make_shared<Gate>();
            auto subscription =
                std::make_shared<CancelSubscription>(token.onCancel([gate] { gate->open(); }));
            sleeps->push_back({seconds, token, gate, subscription});
            return wait(gate);
        };
    }
    std::size_t count() const { return m_sleeps->size(); }
    const Sleep &at(std::size_t index) const { return m_sleeps->at(index); }
    void wake(std::size_t index) { m_sleeps->at(index).gate->open(); }

private:
    static QCoro::Task<void> wait(std::shared_ptr<Gate> gate) { co_await gate->wait(); }
    std::shared_ptr<std::vector<Sleep>> m_sleeps = std::make_shared<std::vector<Sleep>>();
};

// What happened, in order, across the doubles.
class EventLog {
public:
    void add(const QString &event) {
        std::lock_guard lock(m_mutex);
        m_events << event;
    }
    QStringList events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    qsizetype indexOf(const QString &event) const { return events().indexOf(event); }

private:
    mutable std::mutex m_mutex;
    QStringList m_events;
};

// --- The panel ------------------------------------------------------------------------

class RecordingPanel final : public FloatingPanelCoordinating {
public:
    explicit RecordingPanel(std::shared_ptr<EventLog> log)
        : m_log(std::move(log)) {}

    void showRecording(QList<double> levels, RecordingHUDDisplayState displayState,
                       std::optional<QString> toastMessage, std::optional<QString> toastActionTitle,
                       Action onToastAction, Action onFinish, Action onCancel) override {
        lastLevels = levels;
        lastDisplayState = displayState;
        lastRecordingToast = toastMessage;
        lastRecordingToastAction = toastActionTitle;
        this->onToastAction = onToastAction;
        this->onFinish = onFinish;
        this->onCancel = onCancel;
        ++recordingCount;
        note(QStringLiteral("recording"));
    }
    void showThinking(const QString &title, const QString &) override {
        note(QStringLiteral("thinking ") + title);
    }
    void showCompletion(std::optional<QString> toast) override {
        note(QStringLiteral("completion ") + toast.value_or(QStringLiteral("-")));
    }
    void showToast(const QString &message, std::optional<QString> actionTitle,
                   std::optional<double> autoHideAfter, Action onAction) override {
        note(QStringLiteral("toast ") + message + QStringLiteral(" | ") +
             actionTitle.value_or(QStringLiteral("-")) + QStringLiteral(" | ") +
             (autoHideAfter ? QString::number(*autoHideAfter) : QStringLiteral("-")));
        onToastButton = onAction;
    }
    void updateToast(const QString &message, std::optional<QString> actionTitle,
                     std::optional<double> autoHideAfter, Action onAction) override {
        showToast(message, actionTitle, autoHideAfter, onAction);
    }
    void hide() override { note(QStringLiteral("hide")); }

    // Everything but the recording panel's refreshes.
    QStringList calls() const { return m_calls; }
    QString last() const { return m_calls.isEmpty() ? QString() : m_calls.last(); }
    void clear() { m_calls.clear(); }

    int recordingCount = 0;
    QList<double> lastLevels;
    RecordingHUDDisplayState lastDisplayState;
    std::optional<QString> lastRecordingToast;
    std::optional<QString> lastRecordingToastAction;
    Action onToastAction, onFinish, onCancel, onToastButton;

private:
    void note(const QString &call) {
        if (call != u"recording")
            m_calls << call;
        m_log->add(QStringLiteral("panel ") + call);
    }
    std::shared_ptr<EventLog> m_log;
    QStringList m_calls;
};

// --- The live recogniser ------------------------------------------------------------------

class FakeLiveTranscriber final : public InterruptibleLiveTranscriber {
public:
    struct Script {
        std::exception_ptr startError;
        std::shared_ptr<Gate> startGate;
        QString finishText;
        std::exception_ptr finishError;
    };

    FakeLiveTranscriber(Script script, VellupSpeechConfiguration configuration,
                        std::optional<VellupSpeechLexiconConfiguration> lexicon)
        : configuration(std::move(configuration))
        , lexicon(std::move(lexicon))
        , m_script(std::move(script)) {}

    void setOnPartial(PartialCallback callback) override { m_partial = std::move(callback); }
    void setOnInterruption(InterruptionCallback callback) override {
        m_interruption = std::move(callback);
    }
    QString engineName() const override { return QStringLiteral("Vellup流式 ASR 2.0"); }
    QCoro::Task<void> start() override {
        ++startCount;
        if (m_script.startGate)
            co_await m_script.startGate->wait();
        if (m_script.startError) {
            // The streaming recogniser reports a start that fails as a
            // break of its stream too.
            if (m_interruption)
                m_interruption(m_script.startError);
            std::rethrow_exception(m_script.startError);
        }
        started = true;
    }
    void append(const PcmBuffer &buffer) override {
        std::lock_guard lock(m_mutex);
        // The first sample tells the test which buffer this was.
        m_received << int(buffer.samples<qint16>(0)[0]);
    }
    QCoro::Task<QString> finish() override {
        ++finishCount;
        const std::shared_ptr<Gate> gate = finishGate;
        if (gate)
            co_await gate->wait();
        if (m_script.finishError)
            std::rethrow_exception(m_script.finishError);
        co_return QString(m_script.finishText);
    }
    void cancel() override { ++cancelCount; }

    void speak(const QString &partial) { m_partial(partial); }
    void breakStream(std::exception_ptr error) { m_interruption(std::move(error)); }
    QList<int> received() const {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

    const VellupSpeechConfiguration configuration;
    const std::optional<VellupSpeechLexiconConfiguration> lexicon;
    std::atomic<int> startCount = 0;
    std::atomic<int> finishCount = 0;
    std::atomic<int> cancelCount = 0;
    bool started = false;
    // Holds the final text until the test opens it.
    std::shared_ptr<Gate> finishGate;

private:
    Script m_script;
    PartialCallback m_partial;
    InterruptionCallback m_interruption;
    mutable std::mutex m_mutex;
    QList<int> m_received;
};

// --- The gateway session service ----------------------------------------------------------

class ScriptedGatewaySession final : public GatewaySessionProviding {
public:
    template <typename Configuration>
    using Outcome = std::variant<std::optional<Configuration>, std::exception_ptr>;

    // Answered in order; the default once the script runs out.
    std::deque<Outcome<VellupSpeechConfiguration>> speechScript;
    std::deque<Outcome<VellupStructuredFormatterConfiguration>> formatterScript;
    std::deque<Outcome<GatewayLexiconSyncConfiguration>> lexiconSyncScript;
    std::optional<VellupSpeechConfiguration> defaultSpeech;
    std::optional<VellupStructuredFormatterConfiguration> defaultFormatter;
    std::optional<VellupStructuredFormatterConfiguration> defaultHistoryExtractor;
    std::optional<GatewayLexiconSyncConfiguration> defaultLexiconSync;
    int invalidations = 0;
    int speechRequests = 0;
    int formatterRequests = 0;
    int lexiconSyncRequests = 0;
    QStringList locales;

    // The next request of its kind is answered only once the test opens
    // the gate returned; later ones are answered at once.
    std::shared_ptr<Gate> holdNextSpeech() { return m_speechGate = std::make_shared<Gate>(); }
    std::shared_ptr<Gate> holdNextFormatter() { return m_formatterGate = std::make_shared<Gate>(); }

    bool isAvailable() const override { return true; }
    QCoro::Task<std::optional<GatewaySession>> gatewaySession() override { co_return std::nullopt; }
    QCoro::Task<std::optional<VellupSpeechConfiguration>>
    speechConfiguration(QString localeIdentifier) override {
        ++speechRequests;
        locales << localeIdentifier;
        const std::shared_ptr<Gate> gate = std::exchange(m_speechGate, nullptr);
        if (gate)
            co_await gate->wait();
        co_return next(speechScript, defaultSpeech);
    }
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    formatterConfiguration() override {
        ++formatterRequests;
        const std::shared_ptr<Gate> gate = std::exchange(m_formatterGate, nullptr);
        if (gate)
            co_await gate->wait();
        co_return next(formatterScript, defaultFormatter);
    }
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    historyExtractorConfiguration() override {
        co_return defaultHistoryExtractor;
    }
    QCoro::Task<std::optional<GatewayLexiconSyncConfiguration>>
    lexiconSyncConfiguration() override {
        ++lexiconSyncRequests;
        co_return next(lexiconSyncScript, defaultLexiconSync);
    }
    QCoro::Task<void> invalidateGatewaySession() override {
        ++invalidations;
        co_return;
    }

private:
    std::shared_ptr<Gate> m_speechGate;
    std::shared_ptr<Gate> m_formatterGate;

    template <typename Configuration>
    static std::optional<Configuration> next(std::deque<Outcome<Configuration>> &script,
                                             const std::optional<Configuration> &fallback) {
        if (script.empty())
            return fallback;
        Outcome<Configuration> outcome = script.front();
        script.pop_front();
        if (auto *error = std::get_if<std::exception_ptr>(&outcome))
            std::rethrow_exception(*error);
        return std::get<0>(outcome);
    }
};

inline VellupSpeechConfiguration gatewaySpeech(const QString &token = QStringLiteral("tok-1")) {
    VellupSpeechConfiguration configuration;
    configuration.language = QStringLiteral("zh-CN");
    configuration.gatewayBaseURL = QUrl(QStringLiteral("http://127.0.0.1:9"));
    configuration.gatewaySessionToken = token;
    return configuration;
}

inline VellupStructuredFormatterConfiguration gatewayFormatter() {
    return {QUrl(QStringLiteral("http://127.0.0.1:9/api/proxy/format")),
            QStringLiteral("vellup-seed-1-6-flash-250828"), QString(), QString(),
            QStringLiteral("tok-1")};
}

// --- Runner doubles -------------------------------------------------------------------------

// Answers each call with the next scripted text or error; the default once
// the script runs out.
class ScriptedTexts {
public:
    std::deque<std::variant<QString, std::exception_ptr>> script;
    QString fallback;
    std::shared_ptr<Gate> gate;

    QCoro::Task<QString> answer() {
        std::variant<QString, std::exception_ptr> outcome = fallback;
        if (!script.empty()) {
            outcome = script.front();
            script.pop_front();
        }
        return answerAfter(std::move(outcome), gate);
    }
};

struct FormatterCall {
    QString text;
    StructuredFormattingTask task;
    VellupStructuredFormatterConfiguration configuration;
};

struct FileRecognitionCall {
    QString audioFile;
    VellupSpeechConfiguration configuration;
    std::optional<VellupSpeechLexiconConfiguration> lexicon;
};

struct InsertionCall {
    QString text;
    std::optional<ActiveInteractionContext> context;
};

inline ActiveInteractionContext sampleContext(const QString &profile = QStringLiteral("generic")) {
    ActiveInteractionContext context;
    context.appName = QStringLiteral("Notes");
    context.bundleID = QStringLiteral("org.example.notes");
    context.processIdentifier = 4242;
    context.naturalFormattingContext.appProfileID = profile;
    context.naturalFormattingContext.surroundingTextBeforeCursor = QStringLiteral("前文");
    return context;
}

inline PersonalLexiconEntry
lexiconEntry(PersonalLexiconEntryKind kind, std::optional<QString> source, QString target,
             PersonalLexiconEntrySource learningSource = PersonalLexiconEntrySource::manual,
             qint64 hitCount = 5, bool enabled = true) {
    const QDateTime when(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
    return PersonalLexiconEntry(QUuid::createUuid(), kind, std::nullopt, std::nullopt,
                                std::move(source), std::move(target), learningSource, hitCount,
                                enabled,
                                enabled ? PersonalLexiconCloudSyncStatus::pending
                                        : PersonalLexiconCloudSyncStatus::localOnly,
                                when, when, std::nullopt);
}

// A buffer of 1024 frames whose first sample is `marker`.
inline PcmBuffer markedBuffer(int marker) {
    PcmBuffer buffer(PcmFormat{16000, 1, PcmSampleType::Int16, true}, 1024);
    buffer.setFrameLength(1024);
    auto samples = buffer.samples<qint16>(0);
    std::fill(samples.begin(), samples.end(), qint16(0));
    samples[0] = qint16(marker);
    return buffer;
}

// --- Services over platform fakes ---------------------------------------------------------

// The real insertion service, typing and pasting into fakes.
inline std::shared_ptr<FocusedInputInsertionService>
insertionServiceOverFakes(std::shared_ptr<InMemoryPasteboard> pasteboard) {
    return std::make_shared<FocusedInputInsertionService>(
        std::make_shared<FakeAccessibilityClient>(), std::move(pasteboard),
        std::make_shared<RecordingKeySender>());
}

// The real context service, reading fake windows, screens and text.
inline std::shared_ptr<ActiveInteractionContextService>
contextServiceOverFakes(std::shared_ptr<FakeWindowSystem> windows) {
    return std::make_shared<ActiveInteractionContextService>(
        std::make_shared<FakeAccessibilityClient>(), windows,
        std::make_shared<ScreenTextCapture>(windows, std::make_shared<FakeScreenCapture>(),
                                            std::make_shared<FakeTextRecognizer>()));
}

// --- The fixture ------------------------------------------------------------------------------

class ViewModelTest : public WithDiagnosticsLog {
protected:
    using Environment = AppConfigurationStore::Environment;

    ViewModelTest() { functionKeyRunner->enqueueSuccess("2\n"); }

    ~ViewModelTest() override {
        // A worker a failed test left paused would never let the store go.
        historyPause.resume();
        viewModel.reset();
        // What the controller left waiting on the doubles ends as the real
        // services would end it, finding the controller gone.
        Gate::openAll();
        processEventsFor(std::chrono::milliseconds(10));
    }

    // The settings store: with a gateway address, or without one.
    void makeStore(bool withGateway) {
        Environment environment;
        if (withGateway)
            environment.insert(QStringLiteral("TOVALIT_GATEWAY_BASE_URL"),
                               QStringLiteral("http://127.0.0.1:9"));
        store = std::make_unique<AppConfigurationStore>(defaults, environment);
    }
    // A store with a gateway address, and a session service that hands out
    // speech and formatting configurations (or speech only).
    void useGateway() {
        useGatewayForSpeechOnly();
        gateway->defaultFormatter = gatewayFormatter();
    }
    void useGatewayForSpeechOnly() {
        makeStore(true);
        gateway->defaultSpeech = gatewaySpeech();
    }
    // Direct speech credentials on the store.
    void giveDirectSpeechCredentials() {
        store->setVellupAppID(QStringLiteral("app-1"));
        store->setVellupAccessToken(QStringLiteral("direct-token"));
    }

    TranscriberViewModel &makeViewModel(bool shouldBootstrap = false) {
        if (!store)
            makeStore(true);
        TranscriberViewModel::Dependencies d;
        d.shouldBootstrap = shouldBootstrap;
        d.meetingModeTimings = meetingTimings;
        d.currentDate = time.clock();
        d.systemDate = time.clock();
        d.uptime = time.monotonicClock();
        d.sleepForDuration = sessionSleeps.sleeper();
        d.toastSleeper = toastSleeps.sleeper();
        d.gatewaySessionService = gateway;
        d.lexiconEventLogger = std::make_shared<PersonalLexiconEventLogger>(dataFolder());
        d.structuredFormattingRunner = [this](QString text, StructuredFormattingTask task,
                                              VellupStructuredFormatterConfiguration c) {
            formatterCalls.push_back({text, task, c});
            events->add(QStringLiteral("format"));
            return formatterAnswers.answer();
        };
        d.liveTranscriberFactory = [this](VellupSpeechConfiguration c,
                                          std::optional<VellupSpeechLexiconConfiguration> l)
            -> std::shared_ptr<LiveTranscriber> {
            FakeLiveTranscriber::Script script = defaultTranscriberScript;
            if (!transcriberScripts.empty()) {
                script = transcriberScripts.front();
                transcriberScripts.pop_front();
            }
            auto transcriber = std::make_shared<FakeLiveTranscriber>(script, c, l);
            transcribers.push_back(transcriber);
            return transcriber;
        };
        d.audioFileTranscriptionRunner = [this](QString file, VellupSpeechConfiguration c,
                                                std::optional<VellupSpeechLexiconConfiguration> l) {
            fileCalls.push_back({file, c, l});
            events->add(QStringLiteral("file recognition"));
            return fileAnswers.answer();
        };
        d.insertionRunner = [this](QString text, std::optional<ActiveInteractionContext> context,
                                   ObservedInsertionEditCallback,
                                   std::unique_ptr<ClipboardHeadStart>) {
            insertionCalls.push_back({text, context});
            events->add(QStringLiteral("insert"));
            return answerAfter(insertionAnswer, insertionGate);
        };
        d.interactionContextProvider = [this] {
            ++contextCaptures;
            events->add(QStringLiteral("capture context"));
            return answerAfter<std::optional<ActiveInteractionContext>>(providedContext,
                                                                        contextGate);
        };
        d.interactionContextActivator = [this](std::optional<ActiveInteractionContext> context) {
            events->add(QStringLiteral("activate ") +
                        (context ? context->appName : QStringLiteral("<nil>")));
            return done();
        };
        d.audioCaptureService = capture;
        d.hotkeyMonitor = hotkeyMonitor();
        d.insertionService = insertionServiceOverFakes(pasteboard);
        d.interactionContextService = contextServiceOverFakes(windows);
        d.instructionLibraryStore = std::make_shared<InstructionLibraryStore>(dataFolder());
        d.functionKeySystemSettings = std::make_shared<FunctionKeySystemSettings>(
            functionKeyRunner, std::make_shared<FakeSystemSettingsOpener>());
        d.emojiPanelDismissalService = std::make_shared<EmojiPanelDismissalService>(
            windows, std::make_shared<FakeEscapeKeySender>(), [this](double, CancelToken) {
                ++emojiPanelLooks;
                return done();
            });
        d.pasteboard = pasteboard;
        d.fileViewer = fileViewer;
        d.historyStore = &history;
        if (adjustDependencies)
            adjustDependencies(d);
        if (!lexiconStore)
            lexiconStore = std::make_shared<PersonalLexiconStore>(
                dataFolder(), [](double, CancelToken) { return done(); });
        viewModel = std::make_unique<TranscriberViewModel>(
            *store, screenPanel ? screenPanel : panel, lexiconStore, std::move(d));
        return *viewModel;
    }

    std::shared_ptr<HotkeyMonitor> hotkeyMonitor() {
        HotkeyMonitor::Dependencies d;
        d.globalHotKey = std::make_shared<FakeGlobalHotKey>();
        d.makeFunctionKeySource = [] { return std::make_shared<FakeFunctionKeySource>(); };
        d.permissions = permissions;
        d.functionKeySystemSettings = std::make_shared<FunctionKeySystemSettings>(
            std::make_shared<ScriptedCommandRunner>(),
            std::make_shared<FakeSystemSettingsOpener>());
        d.makeDelayScheduler = [] { return std::make_shared<ManualDelayScheduler>(); };
        d.uptime = [] { return 0.0; };
        d.sleeper = [this](double seconds, CancelToken) {
            events->add(QStringLiteral("release wait ") + QString::number(seconds));
            return releaseGate ? releaseGate->wait() : done();
        };
        monitor = std::make_shared<HotkeyMonitor>(std::move(d));
        return monitor;
    }

    QString dataFolder() const { return folders.dataFolder(); }

    // --- Driving ---------------------------------------------------------------------------

    void press() { runTask(viewModel->toggleRecording()); }
    // Starts a recording and lets its context capture finish.
    void startRecording() {
        press();
        ASSERT_EQ(viewModel->recordingState(), RecordingState::recording());
        settle();
    }
    // A recording that has heard one buffer and runs `seconds` when it is
    // stopped; a press now stops it.
    void recordWithoutStopping(double seconds) {
        captureClock = 100.0;
        startRecording();
        feed(1);
        captureClock = 100.0 + seconds;
        time.advance(2.0);
    }
    // A press far enough after the start to stop.
    void stopRecording() {
        time.advance(2.0);
        press();
    }
    FakeLiveTranscriber &transcriber(std::size_t index = 0) { return *transcribers.at(index); }
    FakeLiveTranscriber &lastTranscriber() { return *transcribers.back(); }
    // Lets queued work (partials, levels, spawned tasks) run.
    void settle() { processEventsFor(std::chrono::milliseconds(20)); }
    void feed(int marker) { input->feed(markedBuffer(marker)); }
    // One dictation of `spoken`; the recording lasts `seconds`.
    void dictate(const QString &spoken, double seconds = 3.0) {
        defaultTranscriberScript.finishText = spoken;
        captureClock = 100.0;
        startRecording();
        captureClock = 100.0 + seconds;
        stopRecording();
    }
    TranscriptRecord lastRecord() const { return viewModel->records().value(0); }
    QStringList recordingFiles() const {
        return QDir(history.recordingsDirectoryNow()).entryList(QDir::Files);
    }

    // --- State --------------------------------------------------------------------------------

    InMemoryDefaultsStore defaults;
    std::unique_ptr<AppConfigurationStore> store;
    ManualTime time;
    MeetingModeTimings meetingTimings = MeetingModeTimings::defaultTimings();
    ManualSleeps sessionSleeps;
    ManualSleeps toastSleeps;
    std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
    std::shared_ptr<RecordingPanel> panel = std::make_shared<RecordingPanel>(events);
    // Null: the controller drives `panel`; a benchmark hands in the real one.
    std::shared_ptr<FloatingPanelCoordinating> screenPanel;
    std::shared_ptr<ScriptedGatewaySession> gateway = std::make_shared<ScriptedGatewaySession>();
    ThreadPause historyPause;
    HistoryStore history{folders.dataFolder(), [this] {
                             historyPause.here();
                             return QDateTime::currentDateTimeUtc();
                         }};
    std::shared_ptr<FakeAudioInput> input =
        std::make_shared<FakeAudioInput>(PcmFormat{16000, 1, PcmSampleType::Int16, true});
    std::atomic<double> captureClock{100.0};
    std::shared_ptr<AudioCaptureService> capture = std::make_shared<AudioCaptureService>(
        input, ffmpegAacFileWriterFactory(), [this] { return history.recordingsDirectoryNow(); },
        [this] { return captureClock.load(); },
        [this](const QString &name) { return history.holdRecording(name); });
    std::shared_ptr<FakePermissionProbe> permissions = std::make_shared<FakePermissionProbe>();
    std::shared_ptr<HotkeyMonitor> monitor;
    std::shared_ptr<ScriptedCommandRunner> functionKeyRunner =
        std::make_shared<ScriptedCommandRunner>();
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<InMemoryPasteboard> pasteboard = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<RecordingFileViewer> fileViewer = std::make_shared<RecordingFileViewer>();
    int emojiPanelLooks = 0;

    FakeLiveTranscriber::Script defaultTranscriberScript;
    std::deque<FakeLiveTranscriber::Script> transcriberScripts;
    std::vector<std::shared_ptr<FakeLiveTranscriber>> transcribers;
    ScriptedTexts formatterAnswers;
    std::vector<FormatterCall> formatterCalls;
    ScriptedTexts fileAnswers;
    std::vector<FileRecognitionCall> fileCalls;
    std::variant<InsertionResult, std::exception_ptr> insertionAnswer =
        InsertionResult::pastedFromClipboard;
    std::vector<InsertionCall> insertionCalls;
    // Holds an insertion, once it has the text, until the test opens it.
    std::shared_ptr<Gate> insertionGate;
    std::optional<ActiveInteractionContext> providedContext = sampleContext();
    std::shared_ptr<Gate> contextGate;
    int contextCaptures = 0;
    // Holds the delivery's wait for the user's shortcut keys to come up.
    std::shared_ptr<Gate> releaseGate;

    // Null: a store on the test's data folder.
    std::shared_ptr<PersonalLexiconStore> lexiconStore;
    // A fixture's last word on what the controller is given.
    std::function<void(TranscriberViewModel::Dependencies &)> adjustDependencies;

    std::unique_ptr<TranscriberViewModel> viewModel;

private:
    static QCoro::Task<void> done() { co_return; }
};

} // namespace tovalit::testing
