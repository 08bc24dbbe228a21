#include "app/heap_housekeeping.h"

#include <QPointer>

#include <malloc.h>

namespace tovalit {

namespace {

QCoro::Task<void> trimAfter(QPointer<HeapHousekeeping> owner, Sleeper sleeper,
                            HeapHousekeeping::Trim trim, CancelToken token) {
    co_await sleeper(HeapHousekeeping::settleSeconds, token);
    if (token.isCancelled() || !owner)
        co_return;
    trim();
}

} // namespace

HeapHousekeeping::HeapHousekeeping(Sleeper sleeper, Trim trim, QObject *parent)
    : QObject(parent)
    , m_sleeper(std::move(sleeper))
    , m_trim(std::move(trim)) {}

HeapHousekeeping::~HeapHousekeeping() {
    m_pending.cancel();
}

void HeapHousekeeping::recordingStateChanged(const RecordingState &state) {
    m_pending.cancel();
    if (!state.is(RecordingState::Case::idle) && !state.is(RecordingState::Case::failed))
        return;
    QPointer<HeapHousekeeping> self(this);
    m_pending = spawnCancellable(
        this,
        [self, sleeper = m_sleeper, trim = m_trim](CancelToken token) {
            return trimAfter(self, sleeper, trim, token);
        },
        QStringLiteral("heap trim"));
}

void HeapHousekeeping::limitArenas() {
    // Two: the main arena and one the other threads share. Threads that
    // allocate at the same moment may wait for each other, which matters
    // little in an application that is idle nearly all the time.
    mallopt(M_ARENA_MAX, 2);
}

void HeapHousekeeping::trimHeap() {
    malloc_trim(0);
}

} // namespace tovalit
