#pragma once

#include <QString>

#include <functional>
#include <mutex>

namespace tovalit {

// Keeps one recording out of the history's clearings and deletions while a
// dictation or a retry carries it towards the record that will name it
// (HistoryStore::holdRecording makes them). It lets go at release() or when
// its last owner goes, whichever comes first, once. Any thread.
class RecordingHold {
public:
    // `fileName` names the recording held, when the hold is of one.
    explicit RecordingHold(std::function<void()> letGo, QString fileName = {});
    ~RecordingHold();
    RecordingHold(const RecordingHold &) = delete;
    RecordingHold &operator=(const RecordingHold &) = delete;

    void release();
    const QString &fileName() const { return m_fileName; }

private:
    std::mutex m_mutex;
    std::function<void()> m_letGo;
    const QString m_fileName;
};

} // namespace tovalit
