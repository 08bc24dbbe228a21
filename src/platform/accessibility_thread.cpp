#include "platform/accessibility_thread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

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

void AccessibilityThread::post(std::function<void()> job) {
    QMetaObject::invokeMethod(m_context, std::move(job), Qt::QueuedConnection);
}

bool AccessibilityThread::isCurrent() const {
    return QThread::currentThread() == m_thread.get();
}

QObject *AccessibilityThread::context() const {
    return m_context;
}

} // namespace tovalit
