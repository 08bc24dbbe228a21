#include "services/capture/audio_capture_service.h"

#include "platform/linux/pulse_audio_input.h"
#include "services/capture/audio_level_meter.h"
#include "services/history/history_store.h"
#include "support/gui_thread.h"
#include "support/run_in_background.h"
#include "support/uuid_text.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>
#include <mutex>

Q_LOGGING_CATEGORY(lcCapture, "tovalit.capture")

namespace tovalit {

QString AudioCaptureError::localizedDescription() const {
    switch (m_kind) {
    case Kind::microphonePermissionDenied:
        return QStringLiteral("没有可用的麦克风：请确认声音服务（PulseAudio/PipeWire）正在运行，"
                              "并在声音设置中选择输入设备。");
    case Kind::alreadyRecording:
        return QStringLiteral("当前已经在录音中。");
    case Kind::startCancelled:
        return QStringLiteral("录音已取消。");
    }
    return {};
}

namespace {

// One recording: its file and when it began. Shared between the owner and
// the capture thread's handler.
struct Recording {
    QString path;
    std::shared_ptr<RecordingHold> fileHold;
    std::unique_ptr<AacFileWriter> writer;
    double startedAt = 0;
    bool writeFailureLogged = false;

    // After the input has stopped: finishes the file. A file that cannot
    // be finished is logged; the recording still ends.
    void close() {
        if (!writer)
            return;
        try {
            writer->close();
        } catch (const std::exception &error) {
            qCWarning(lcCapture).noquote()
                << "could not finish" << path << ":" << describeException(error);
        }
        writer.reset();
    }

    void discard() {
        close();
        QFile::remove(path);
        fileHold.reset();
    }
};

} // namespace

struct AudioCaptureService::State {
    std::shared_ptr<AudioInput> input;
    AacFileWriterFactory writerFactory;
    RecordingsFolderProvider recordingsFolder;
    MonotonicClock clock;
    RecordingHolder holdRecording;

    // Shared with the capture thread.
    mutable std::mutex mutex;
    std::shared_ptr<const BufferCallback> onBuffer;
    std::shared_ptr<const LevelsCallback> onLevels;
    QList<double> smoothedLevels = AudioLevelMeter::idleLevels();

    // The owner's thread only.
    enum class Phase { Idle, Starting, Recording } phase = Phase::Idle;
    // Bumped by stop() so a start() that is still setting up knows to undo
    // what it made.
    quint64 startAttempt = 0;
    bool startInFlight = false;
    std::shared_ptr<Recording> recording;

    std::shared_ptr<const BufferCallback> bufferCallback() const {
        std::lock_guard lock(mutex);
        return onBuffer;
    }
    std::shared_ptr<const LevelsCallback> levelsCallback() const {
        std::lock_guard lock(mutex);
        return onLevels;
    }
    void setSmoothedLevels(const QList<double> &levels) {
        std::lock_guard lock(mutex);
        smoothedLevels = levels;
    }

    // Back to the idle bars, told on the calling thread.
    void resetLevels() {
        setSmoothedLevels(AudioLevelMeter::idleLevels());
        if (const auto callback = levelsCallback())
            (*callback)(AudioLevelMeter::idleLevels());
    }

    // Per buffer on the capture thread: file, owner, meter, GUI.
    static void handle(const std::shared_ptr<State> &state, Recording &recording,
                       const PcmBuffer &buffer, const AudioTime &time) {
        if (recording.writer) {
            try {
                recording.writer->write(buffer);
            } catch (const std::exception &error) {
                // The dictation goes on without a complete file; the live
                // recogniser still gets every buffer.
                if (!recording.writeFailureLogged)
                    qCWarning(lcCapture).noquote()
                        << "could not write" << recording.path << ":" << describeException(error);
                recording.writeFailureLogged = true;
            }
        }
        if (const auto callback = state->bufferCallback())
            (*callback)(buffer, time);
        QList<double> levels;
        {
            std::lock_guard lock(state->mutex);
            state->smoothedLevels = AudioLevelMeter::smoothed(
                state->smoothedLevels, AudioLevelMeter::rawMeterLevels(buffer));
            levels = state->smoothedLevels;
        }
        postToGuiThread([state, levels] {
            if (const auto callback = state->levelsCallback())
                (*callback)(levels);
        });
    }
};

namespace {

using State = AudioCaptureService::State;

struct PreparedRecording {
    PcmFormat inputFormat;
    std::shared_ptr<Recording> recording;
};

// Folder, input format and file, off the GUI thread.
PreparedRecording prepareRecording(const std::shared_ptr<State> &state) {
    const QString folder = state->recordingsFolder();
    PreparedRecording prepared;
    prepared.inputFormat = state->input->inputFormat();
    prepared.recording = std::make_shared<Recording>();
    const QString name = uuidtext::newUpper() + QStringLiteral(".m4a");
    // Held before the file exists, so that no clearing of the history
    // running now can take it.
    if (state->holdRecording)
        prepared.recording->fileHold = state->holdRecording(name);
    prepared.recording->path = folder + u'/' + name;
    PcmFormat writingFormat = prepared.inputFormat;
    writingFormat.sampleType = AudioCaptureService::commonFormatForWriting(prepared.inputFormat);
    prepared.recording->writer = state->writerFactory(
        prepared.recording->path, AudioCaptureService::recordingSettings(prepared.inputFormat),
        writingFormat);
    return prepared;
}

// Marks the start finished however the coroutine leaves.
struct StartInFlight {
    std::shared_ptr<State> state;
    ~StartInFlight() { state->startInFlight = false; }
};

// The helpers below keep lambdas out of the coroutine's body: GCC 12
// mangles the captures of lambdas made inside a coroutine frame.

bool superseded(const State &state, quint64 attempt) {
    return state.startAttempt != attempt;
}

// A start that failed goes back to idle, unless a stop() already did.
void backToIdle(State &state, quint64 attempt) {
    if (!superseded(state, attempt))
        state.phase = State::Phase::Idle;
}

std::function<PreparedRecording()> preparation(std::shared_ptr<State> state) {
    return [state] { return prepareRecording(state); };
}

std::function<void()> inputStart(std::shared_ptr<State> state, std::shared_ptr<Recording> recording,
                                 PcmFormat format) {
    const std::weak_ptr<State> weakState = state;
    AudioInput::BufferHandler handler = [weakState, recording](const PcmBuffer &buffer,
                                                               const AudioTime &time) {
        if (const auto state = weakState.lock())
            State::handle(state, *recording, buffer, time);
    };
    std::shared_ptr<AudioInput> input = state->input;
    return [input, format, handler] {
        input->start(format, AudioCaptureService::framesPerBuffer, handler);
    };
}

// A named coroutine over the shared state, so that a service destroyed
// while a start is pending leaves nothing dangling.
QCoro::Task<void> startRecording(std::shared_ptr<State> state, QCoro::Task<bool> permission) {
    const quint64 attempt = state->startAttempt;
    StartInFlight inFlight{state};

    bool granted = false;
    try {
        granted = co_await std::move(permission);
    } catch (...) {
        backToIdle(*state, attempt);
        throw;
    }
    if (superseded(*state, attempt))
        throw AudioCaptureError(AudioCaptureError::Kind::startCancelled);
    if (!granted) {
        backToIdle(*state, attempt);
        throw AudioCaptureError(AudioCaptureError::Kind::microphonePermissionDenied);
    }

    PreparedRecording prepared;
    try {
        prepared = co_await runInBackground<PreparedRecording>(preparation(state));
    } catch (...) {
        backToIdle(*state, attempt);
        throw;
    }
    const std::shared_ptr<Recording> recording = prepared.recording;
    if (superseded(*state, attempt)) {
        recording->discard();
        throw AudioCaptureError(AudioCaptureError::Kind::startCancelled);
    }
    recording->startedAt = state->clock();
    state->recording = recording;
    state->resetLevels();

    std::exception_ptr failure;
    try {
        co_await runInBackground<void>(inputStart(state, recording, prepared.inputFormat));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure || superseded(*state, attempt)) {
        // Nothing of a start that did not come about stays behind: no
        // running input, no orphan file in the recordings folder.
        state->input->stop();
        recording->discard();
        if (!superseded(*state, attempt)) {
            state->recording.reset();
            state->phase = State::Phase::Idle;
        }
        if (failure)
            std::rethrow_exception(failure);
        throw AudioCaptureError(AudioCaptureError::Kind::startCancelled);
    }
    state->phase = State::Phase::Recording;
}

} // namespace

AudioCaptureService::AudioCaptureService()
    : AudioCaptureService(
          std::make_shared<PulseAudioInput>(), ffmpegAacFileWriterFactory(),
          [] { return HistoryStore::shared().recordingsDirectoryNow(); }, systemMonotonicClock(),
          [](const QString &name) { return HistoryStore::shared().holdRecording(name); }) {}

AudioCaptureService::AudioCaptureService(std::shared_ptr<AudioInput> input,
                                         AacFileWriterFactory writerFactory,
                                         RecordingsFolderProvider recordingsFolder,
                                         MonotonicClock clock, RecordingHolder holdRecording)
    : m_state(std::make_shared<State>()) {
    m_state->input = std::move(input);
    m_state->writerFactory = std::move(writerFactory);
    m_state->recordingsFolder = std::move(recordingsFolder);
    m_state->clock = std::move(clock);
    m_state->holdRecording = std::move(holdRecording);
}

AudioCaptureService::~AudioCaptureService() {
    State &state = *m_state;
    // Level updates already posted to the GUI thread must not reach an
    // owner that is going away with the service.
    setOnBuffer(nullptr);
    setOnLevels(nullptr);
    if (state.phase == State::Phase::Starting) {
        // The pending start finds itself superseded and undoes its work.
        ++state.startAttempt;
        return;
    }
    if (state.phase == State::Phase::Recording) {
        state.input->stop();
        if (state.recording)
            state.recording->close();
    }
}

void AudioCaptureService::setOnBuffer(BufferCallback callback) {
    std::lock_guard lock(m_state->mutex);
    m_state->onBuffer =
        callback ? std::make_shared<const BufferCallback>(std::move(callback)) : nullptr;
}

void AudioCaptureService::setOnLevels(LevelsCallback callback) {
    std::lock_guard lock(m_state->mutex);
    m_state->onLevels =
        callback ? std::make_shared<const LevelsCallback>(std::move(callback)) : nullptr;
}

QCoro::Task<void> AudioCaptureService::start() {
    State &state = *m_state;
    if (state.phase != State::Phase::Idle || state.startInFlight || state.input->isRunning())
        throw AudioCaptureError(AudioCaptureError::Kind::alreadyRecording);
    state.phase = State::Phase::Starting;
    state.startInFlight = true;
    // Nothing of `this` is touched after the first suspension: the service
    // may be gone by then, the shared state is not.
    co_await startRecording(m_state, requestPermission());
}

RecordingSessionOutput AudioCaptureService::stop(bool keepAudioFile) {
    State &state = *m_state;
    std::shared_ptr<Recording> recording;
    if (state.phase == State::Phase::Starting) {
        // The input may be starting on another thread right now; the
        // pending start undoes its own work when it resumes.
        ++state.startAttempt;
    } else {
        state.input->stop();
        recording = std::move(state.recording);
    }
    state.recording.reset();
    state.phase = State::Phase::Idle;

    // Monotonic seconds: a wall clock set back mid-recording cannot make
    // the duration negative or wrong.
    const double end = state.clock();
    const double duration = recording ? end - recording->startedAt : 0;
    std::optional<QString> path;
    std::shared_ptr<RecordingHold> fileHold;
    if (recording) {
        recording->close();
        path = recording->path;
        fileHold = std::move(recording->fileHold);
    }
    state.resetLevels();

    RecordingSessionOutput output;
    if (path && !keepAudioFile) {
        QFile::remove(*path);
    } else {
        output.audioURL = path;
        output.fileHold = std::move(fileHold);
    }
    output.duration = std::max(duration, 0.0);
    return output;
}

QCoro::Task<bool> AudioCaptureService::requestPermission() {
    const std::shared_ptr<AudioInput> input = m_state->input;
    return runInBackground<bool>([input] { return input->hasDefaultInputDevice(); });
}

bool AudioCaptureService::isRecording() const {
    return m_state->phase == State::Phase::Recording;
}

std::optional<QString> AudioCaptureService::currentRecordingFileName() const {
    if (m_state->phase != State::Phase::Recording || !m_state->recording)
        return std::nullopt;
    return QFileInfo(m_state->recording->path).fileName();
}

QList<double> AudioCaptureService::smoothedLevels() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->smoothedLevels;
}

const QList<double> &AudioCaptureService::idleLevels() {
    return AudioLevelMeter::idleLevels();
}

AacFileSettings AudioCaptureService::recordingSettings(const PcmFormat &inputFormat) {
    return {inputFormat.sampleRate, inputFormat.channelCount, encoderBitRate};
}

PcmSampleType AudioCaptureService::commonFormatForWriting(const PcmFormat &inputFormat) {
    switch (inputFormat.sampleType) {
    case PcmSampleType::Float32:
    case PcmSampleType::Float64:
    case PcmSampleType::Int16:
    case PcmSampleType::Int32:
        return inputFormat.sampleType;
    case PcmSampleType::Other:
        break;
    }
    return PcmSampleType::Float32;
}

} // namespace tovalit
