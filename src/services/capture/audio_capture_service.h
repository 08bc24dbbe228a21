#pragma once

#include "platform/aac_file_writer.h"
#include "platform/audio_input.h"
#include "platform/pcm_buffer.h"
#include "support/app_error.h"
#include "support/clock.h"

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class RecordingHold;

// What a finished recording leaves behind.
struct RecordingSessionOutput {
    // The recording file when it was kept.
    std::optional<QString> audioURL;
    // Seconds, never negative.
    double duration = 0;
    // Keeps the kept file out of a clearing of the history until the record
    // naming it is saved (see HistoryStore::holdRecording); not part of the
    // value.
    std::shared_ptr<RecordingHold> fileHold = nullptr;

    bool operator==(const RecordingSessionOutput &other) const {
        return audioURL == other.audioURL && duration == other.duration;
    }
};

class AudioCaptureError : public AppError {
public:
    enum class Kind {
        microphonePermissionDenied,
        alreadyRecording,
        // stop() was called while start() was still setting up.
        startCancelled,
    };
    explicit AudioCaptureError(Kind kind)
        : m_kind(kind) {}
    Kind kind() const { return m_kind; }
    QString localizedDescription() const override;
    bool operator==(const AudioCaptureError &other) const { return m_kind == other.m_kind; }

private:
    Kind m_kind;
};

// Records the default audio input while a dictation runs. From each
// captured buffer it writes the recording file, hands the buffer to its
// owner and computes the capsule's five meter bars.
//
// start() and stop() are called from one thread (the GUI thread); the
// buffer callback runs on the capture thread; level updates arrive on the
// GUI thread, one per buffer, in order.
class AudioCaptureService {
public:
    using BufferCallback = std::function<void(const PcmBuffer &buffer, const AudioTime &time)>;
    using LevelsCallback = std::function<void(const QList<double> &levels)>;
    // The folder recordings go into, created when missing; throws when it
    // cannot be had.
    using RecordingsFolderProvider = std::function<QString()>;
    // Keeps a recording's file, by name, from being cleared away with the
    // history while the returned value lives; called before the file is
    // made, on the thread that makes it.
    using RecordingHolder = std::function<std::shared_ptr<RecordingHold>(const QString &fileName)>;

    static constexpr int framesPerBuffer = 1024;
    static constexpr int encoderBitRate = 96000;

    // The default input, FFmpeg's AAC writer, the history store's
    // recordings folder and holds, and the monotonic clock. Starts nothing.
    AudioCaptureService();
    AudioCaptureService(std::shared_ptr<AudioInput> input, AacFileWriterFactory writerFactory,
                        RecordingsFolderProvider recordingsFolder, MonotonicClock clock,
                        RecordingHolder holdRecording = nullptr);
    // A recording still running is stopped and its file kept.
    ~AudioCaptureService();
    AudioCaptureService(const AudioCaptureService &) = delete;
    AudioCaptureService &operator=(const AudioCaptureService &) = delete;

    // Every captured buffer, on the capture thread. Copy a buffer before
    // keeping it past the call.
    void setOnBuffer(BufferCallback callback);
    // The five meter bars: once with the idle bars at start() and at
    // stop() (on the caller's thread), and per buffer on the GUI thread.
    void setOnLevels(LevelsCallback callback);

    // Begins a recording into "<recordings>/<UPPER-UUID>.m4a". Throws
    // AudioCaptureError (already recording, no microphone), or the
    // folder's, file's or input's own error, after which nothing is left
    // running and no file remains.
    QCoro::Task<void> start();
    // Ends the recording (if any) and reports its file and duration; the
    // file is deleted when `keepAudioFile` is false. Also when idle. A kept
    // file's hold passes to the output.
    RecordingSessionOutput stop(bool keepAudioFile);
    // Whether there is a microphone to record from.
    QCoro::Task<bool> requestPermission();

    bool isRecording() const;
    // The name of the file the running recording goes into; nothing while
    // none runs. The owner's thread.
    std::optional<QString> currentRecordingFileName() const;
    QList<double> smoothedLevels() const;

    static const QList<double> &idleLevels();
    // The file's settings for an input format: AAC at the input's rate and
    // channel count, 96 kb/s.
    static AacFileSettings recordingSettings(const PcmFormat &inputFormat);
    // The sample type buffers are written in: the input's own when it is
    // one of 32/64-bit float or 16/32-bit integer, else 32-bit float.
    static PcmSampleType commonFormatForWriting(const PcmFormat &inputFormat);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace tovalit
