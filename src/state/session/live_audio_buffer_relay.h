#pragma once

#include "platform/pcm_buffer.h"

#include <deque>
#include <memory>
#include <mutex>

namespace tovalit {

class LiveTranscriber;

// Hands capture buffers to the live recogniser. While no recogniser is
// attached, or while a broken one is being rebuilt, it keeps copies of the
// newest buffers and replays them, in capture order, into the next one.
//
// append() runs on the capture thread, everything else on the GUI thread.
// The lock guards the fields only; recognisers are always called outside
// it, so a recogniser may call back into the relay's owner.
class LiveAudioBufferRelay {
public:
    explicit LiveAudioBufferRelay(int maxBufferedBuffers);

    // One captured buffer, valid only during the call.
    void append(const PcmBuffer &buffer);
    // Attaches a recogniser (or detaches with null). With
    // `flushBufferedAudio` the backlog goes into it first; buffers captured
    // while that replay runs follow it, so the recogniser hears the audio
    // in the order it was captured.
    void setTranscriber(std::shared_ptr<LiveTranscriber> transcriber, bool flushBufferedAudio);
    // No recogniser, not buffering, empty backlog.
    void reset();
    // Detaches the recogniser and keeps everything that follows in the
    // backlog until the next setTranscriber().
    void beginBuffering();

    int maxBufferedBuffers() const { return m_maxBufferedBuffers; }
    int bufferedCount() const;
    bool isBuffering() const;
    // Whether the backlog had to drop its oldest buffers since the last
    // reset() or beginBuffering(): a replay then misses part of the audio.
    bool hasDroppedBufferedAudio() const;

private:
    using BufferList = std::deque<std::shared_ptr<const PcmBuffer>>;

    std::shared_ptr<LiveTranscriber> liveTarget() const;
    // Buffers go straight to the recogniser; call with the lock held.
    bool isLiveLocked() const;

    const int m_maxBufferedBuffers;
    mutable std::mutex m_stateLock;
    std::shared_ptr<LiveTranscriber> m_transcriber;
    bool m_isBuffering = false;
    // True while setTranscriber() replays the backlog outside the lock.
    bool m_isReplaying = false;
    bool m_droppedBufferedAudio = false;
    BufferList m_pendingBuffers;
};

} // namespace tovalit
