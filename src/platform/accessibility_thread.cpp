#include "platform/accessibility_thread.h"

#include "platform/accessibility_job.h"

#include <QMetaObject>
#include <QObject>
#include <QScopeGuard>
#include <QThread>

#include <atomic>

namespace tovalit {

AccessibilityThread::AccessibilityThread(ColdReadDeadline::Clock clock)
    : m_thread(std::make_unique<QThread>())
    , m_clock(clock) {
    m_thread->setObjectName(QStringLiteral("tovalit-accessibility"));
    m_context = new QObject;
    m_context->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_context, &QObject::deleteLater);
    m_thread->start();
}

AccessibilityThread::~AccessibilityThread() {
    m_thread->quit();
    m_thread->wait();
}

namespace {

thread_local AccessibilityJob *runningJob = nullptr;
std::atomic<quint64> lastJob{0};

} // namespace

void AccessibilityThread::post(std::function<void()> job) {
    QMetaObject::invokeMethod(
        m_context,
        [job = std::move(job), clock = m_clock] {
            AccessibilityJob running(++lastJob, clock);
            runningJob = &running;
            const auto done = qScopeGuard([] { runningJob = nullptr; });
            job();
        },
        Qt::QueuedConnection);
}

AccessibilityJob *AccessibilityThread::currentJob() {
    return runningJob;
}

bool AccessibilityThread::isCurrent() const {
    return QThread::currentThread() == m_thread.get();
}

QObject *AccessibilityThread::context() const {
    return m_context;
}

} // namespace tovalit
