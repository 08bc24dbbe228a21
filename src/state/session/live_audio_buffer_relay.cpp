#include "state/session/live_audio_buffer_relay.h"

#include "services/speech/live_transcriber.h"

namespace tovalit {

LiveAudioBufferRelay::LiveAudioBufferRelay(int maxBufferedBuffers)
    : m_maxBufferedBuffers(maxBufferedBuffers) {}

void LiveAudioBufferRelay::append(const PcmBuffer &buffer) {
    if (std::shared_ptr<LiveTranscriber> target = liveTarget()) {
        // The recogniser copies what it keeps, and the buffer is valid for
        // the whole call, so the common case copies nothing here.
        target->append(buffer);
        return;
    }
    // Copied outside the lock: the capture thread is the only appender.
    std::shared_ptr<const PcmBuffer> copy = PCMBufferSnapshot::makeOwnedCopy(buffer);
    if (!copy)
        return; // Out of memory: a gap in the backlog is all that can be done.
    std::shared_ptr<LiveTranscriber> target;
    {
        std::lock_guard lock(m_stateLock);
        if (isLiveLocked()) {
            // Attached with the backlog already replayed while the copy
            // was made: this buffer is the newest, so it goes straight on.
            target = m_transcriber;
        } else {
            m_pendingBuffers.push_back(std::move(copy));
            while (static_cast<int>(m_pendingBuffers.size()) > m_maxBufferedBuffers) {
                m_pendingBuffers.pop_front();
                m_droppedBufferedAudio = true;
            }
            return;
        }
    }
    target->append(*copy);
}

std::shared_ptr<LiveTranscriber> LiveAudioBufferRelay::liveTarget() const {
    std::lock_guard lock(m_stateLock);
    return isLiveLocked() ? m_transcriber : nullptr;
}

bool LiveAudioBufferRelay::isLiveLocked() const {
    return m_transcriber && !m_isBuffering && !m_isReplaying;
}

void LiveAudioBufferRelay::setTranscriber(std::shared_ptr<LiveTranscriber> transcriber,
                                          bool flushBufferedAudio) {
    std::unique_lock lock(m_stateLock);
    m_transcriber = transcriber;
    if (!transcriber)
        return;
    m_isBuffering = false;
    if (!flushBufferedAudio)
        return;
    // Replays in rounds: what the capture thread adds during one round is
    // taken by the next, and live delivery resumes only once a round finds
    // the backlog empty.
    m_isReplaying = true;
    for (;;) {
        BufferList round;
        round.swap(m_pendingBuffers);
        if (round.empty())
            break;
        lock.unlock();
        for (const auto &buffer : round)
            transcriber->append(*buffer);
        lock.lock();
    }
    m_isReplaying = false;
}

void LiveAudioBufferRelay::reset() {
    std::lock_guard lock(m_stateLock);
    m_transcriber.reset();
    m_isBuffering = false;
    m_droppedBufferedAudio = false;
    m_pendingBuffers.clear();
}

void LiveAudioBufferRelay::beginBuffering() {
    std::lock_guard lock(m_stateLock);
    m_transcriber.reset();
    m_isBuffering = true;
    m_droppedBufferedAudio = false;
}

int LiveAudioBufferRelay::bufferedCount() const {
    std::lock_guard lock(m_stateLock);
    return static_cast<int>(m_pendingBuffers.size());
}

bool LiveAudioBufferRelay::hasDroppedBufferedAudio() const {
    std::lock_guard lock(m_stateLock);
    return m_droppedBufferedAudio;
}

bool LiveAudioBufferRelay::isBuffering() const {
    std::lock_guard lock(m_stateLock);
    return m_isBuffering;
}

} // namespace tovalit
