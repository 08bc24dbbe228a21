#include "services/history/recording_hold.h"

#include <utility>

namespace tovalit {

RecordingHold::RecordingHold(std::function<void()> letGo, QString fileName)
    : m_letGo(std::move(letGo))
    , m_fileName(std::move(fileName)) {}

RecordingHold::~RecordingHold() {
    release();
}

void RecordingHold::release() {
    std::function<void()> letGo;
    {
        std::lock_guard lock(m_mutex);
        letGo = std::exchange(m_letGo, nullptr);
    }
    if (letGo)
        letGo();
}

} // namespace tovalit
