#pragma once

#include "services/speech/live_transcriber.h"

#include <QString>

#include <mutex>

namespace tovalit {

// What the recogniser (GUI thread) and its streaming thread both touch: the
// callbacks the controller sets, and the latest recognised text, which a
// cancel() on the GUI thread hands back at once.
class VellupStreamingSharedState {
public:
    void setOnPartial(LiveTranscriber::PartialCallback callback) {
        std::lock_guard lock(m_mutex);
        m_onPartial = std::move(callback);
    }
    LiveTranscriber::PartialCallback onPartial() const {
        std::lock_guard lock(m_mutex);
        return m_onPartial;
    }
    void setOnInterruption(InterruptibleLiveTranscriber::InterruptionCallback callback) {
        std::lock_guard lock(m_mutex);
        m_onInterruption = std::move(callback);
    }
    InterruptibleLiveTranscriber::InterruptionCallback onInterruption() const {
        std::lock_guard lock(m_mutex);
        return m_onInterruption;
    }
    void setLatestTranscript(const QString &text) {
        std::lock_guard lock(m_mutex);
        m_latestTranscript = text;
    }
    QString latestTranscript() const {
        std::lock_guard lock(m_mutex);
        return m_latestTranscript;
    }

private:
    mutable std::mutex m_mutex;
    LiveTranscriber::PartialCallback m_onPartial;
    InterruptibleLiveTranscriber::InterruptionCallback m_onInterruption;
    QString m_latestTranscript;
};

} // namespace tovalit
