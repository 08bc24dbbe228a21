#pragma once

#include <functional>
#include <mutex>

namespace tovalit {

// Keeps one recording out of the history's clearings and deletions while a
// dictation or a retry carries it towards the record that will name it
// (HistoryStore::holdRecording makes them). It lets go at release() or when
// its last owner goes, whichever comes first, once. Any thread.
class RecordingHold {
public:
    explicit RecordingHold(std::function<void()> letGo);
    ~RecordingHold();
    RecordingHold(const RecordingHold &) = delete;
    RecordingHold &operator=(const RecordingHold &) = delete;

    void release();

private:
    std::mutex m_mutex;
    std::function<void()> m_letGo;
};

} // namespace tovalit
