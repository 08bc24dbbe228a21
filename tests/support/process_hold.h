#pragma once

#include <QObject>
#include <QString>

namespace tovalit::testing {

// Holds another program still (SIGSTOP) for a while from the moment this
// process first takes the clipboard (the dictation put there), as a busy
// program gets to a paste's keys late: whatever the clipboard holds when it
// reads it is what it pastes.
// The program goes on at the latest when this object goes. GUI thread.
class ProcessHold final : public QObject {
public:
    ProcessHold(qint64 processIdentifier, int milliseconds);
    ~ProcessHold() override;

    // Whether the program was held at all.
    bool held() const { return m_held; }

private:
    void clipboardChanged();
    void release();

    qint64 m_processIdentifier;
    int m_milliseconds;
    bool m_held = false;
    bool m_stopped = false;
};

} // namespace tovalit::testing
