#include "tests/support/process_hold.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTimer>

#include <csignal>

namespace tovalit::testing {

ProcessHold::ProcessHold(qint64 processIdentifier, int milliseconds)
    : m_processIdentifier(processIdentifier)
    , m_milliseconds(milliseconds) {
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this,
            [this](QClipboard::Mode mode) {
                if (mode == QClipboard::Clipboard)
                    clipboardChanged();
            });
}

ProcessHold::~ProcessHold() {
    release();
}

void ProcessHold::clipboardChanged() {
    if (m_held || !QGuiApplication::clipboard()->ownsClipboard())
        return;
    m_held = true;
    m_stopped = ::kill(pid_t(m_processIdentifier), SIGSTOP) == 0;
    QTimer::singleShot(m_milliseconds, this, [this] { release(); });
}

void ProcessHold::release() {
    if (m_stopped)
        ::kill(pid_t(m_processIdentifier), SIGCONT);
    m_stopped = false;
}

} // namespace tovalit::testing
