#pragma once

#include <QProcess>

namespace tovalit::testing {

// Another application's process that holds a clipboard (xclip, wl-copy)
// for as long as it runs, for the desktop tests.
class ClipboardOwnerProcess {
public:
    // Stops the process in its tracks, still owning the clipboard: an
    // application that hangs. Resumed before it is stopped for good.
    void hang();

protected:
    // The process starts a group of its own: what it starts to serve a
    // paste goes with it.
    ClipboardOwnerProcess();
    ~ClipboardOwnerProcess();
    ClipboardOwnerProcess(const ClipboardOwnerProcess &) = delete;
    ClipboardOwnerProcess &operator=(const ClipboardOwnerProcess &) = delete;

    QProcess m_process;

private:
    bool m_hung = false;
};

} // namespace tovalit::testing
