#pragma once

#include <QProcess>
#include <QString>

#include <memory>
#include <optional>

namespace tovalit::testing {

// A native application on the clipboard of a Wayland session whose
// compositor offers data control (wl-copy and wl-paste in processes of
// their own, which need no window and no focus), for the Wayland tests.
// Waiting happens with the event loop running, so this process can serve
// what it holds while the other one reads it.
class WaylandClipboardClient {
public:
    // Takes the session's clipboard with `text` and serves it until it
    // loses the clipboard or the object goes; waits (bounded) until a
    // paste gets it. A failure is reported to the test and gives nothing.
    static std::unique_ptr<WaylandClipboardClient> copy(const QString &text);
    ~WaylandClipboardClient();

    // What a paste into a native window gets now; nothing when the
    // session's clipboard holds no text, or its owner does not answer
    // within ten seconds.
    static std::optional<QString> paste();

    // Stops the process in its tracks, still owning the clipboard: an
    // application that hangs. Resumed before it is stopped for good.
    void hang();

private:
    WaylandClipboardClient() = default;
    QProcess m_process;
    bool m_hung = false;
};

} // namespace tovalit::testing
