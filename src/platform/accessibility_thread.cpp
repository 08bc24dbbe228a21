#include "platform/accessibility_thread.h"

#include <QMetaObject>
#include <QObject>
#include <QScopeGuard>
#include <QThread>

#include <atomic>

namespace tovalit {

AccessibilityThread::AccessibilityThread()
    : m_thread(std::make_unique<QThread>()) {
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

thread_local quint64 runningJob = 0;
std::atomic<quint64> lastJob{0};

} // namespace

void AccessibilityThread::post(std::function<void()> job) {
    QMetaObject::invokeMethod(
        m_context,
        [job = std::move(job)] {
            runningJob = ++lastJob;
            const auto done = qScopeGuard([] { runningJob = 0; });
            job();
        },
        Qt::QueuedConnection);
}

quint64 AccessibilityThread::currentJob() {
    return runningJob;
}

bool AccessibilityThread::isCurrent() const {
    return QThread::currentThread() == m_thread.get();
}

QObject *AccessibilityThread::context() const {
    return m_context;
}

} // namespace tovalit
