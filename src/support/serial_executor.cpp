#include "support/serial_executor.h"

#include <QThreadPool>

namespace tovalit {

SerialExecutor::SerialExecutor(const QString &name)
    : m_pool(std::make_unique<QThreadPool>()) {
    m_pool->setObjectName(name);
    // One thread makes the pool's FIFO queue a serial one.
    m_pool->setMaxThreadCount(1);
}

SerialExecutor::~SerialExecutor() {
    m_pool->waitForDone();
}

void SerialExecutor::submit(std::function<void()> job) {
    m_pool->start(std::move(job));
}

} // namespace tovalit
