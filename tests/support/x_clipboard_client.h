#pragma once

#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

namespace tovalit::testing {

// Another application on the X clipboard (xclip in a process of its own),
// for the desktop tests. Waiting happens with the event loop running, so
// this process can serve the clipboard while the other one reads it.
class XClipboardClient {
public:
    // Takes the clipboard with `text` and serves it until it loses the
    // clipboard or the object goes; waits (bounded) until the clipboard is
    // its own. A failure is reported to the test and gives nothing.
    static std::unique_ptr<XClipboardClient> copy(const QString &text);
    ~XClipboardClient();

    // What a paste into another application gets now; nothing when the
    // clipboard holds no text.
    static std::optional<QString> paste();

    // Stops the process in its tracks, still owning the clipboard: an
    // application that hangs. Resumed before it is stopped for good.
    void hang();

private:
    XClipboardClient() = default;
    QProcess m_process;
    bool m_hung = false;
};

} // namespace tovalit::testing
