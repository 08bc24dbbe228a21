#pragma once

#include "tests/support/clipboard_owner_process.h"

#include <QProcess>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace tovalit::testing {

// A native application on the clipboard of a Wayland session whose
// compositor offers data control (wl-copy and wl-paste in processes of
// their own, which need no window and no focus), for the Wayland tests.
// Waiting happens with the event loop running, so this process can serve
// what it holds while the other one reads it.
class WaylandClipboardClient final : public ClipboardOwnerProcess {
public:
    // Takes the session's clipboard with `text` and serves it until it
    // loses the clipboard or the object goes; waits (bounded) until a
    // paste gets it. A failure is reported to the test and gives nothing.
    static std::unique_ptr<WaylandClipboardClient> copy(const QString &text);

    // What a paste into a native window gets now; nothing when the
    // session's clipboard holds no text, or its owner does not answer
    // within `limit`.
    static std::optional<QString> paste(std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    WaylandClipboardClient() = default;
};

// A paste into a native window that takes the first bytes and then
// nothing more (wl-paste writing into a pipe that nobody reads), for as
// long as the object lives.
class StalledWaylandPaste {
public:
    StalledWaylandPaste();
    ~StalledWaylandPaste();
    StalledWaylandPaste(const StalledWaylandPaste &) = delete;
    StalledWaylandPaste &operator=(const StalledWaylandPaste &) = delete;

    // Whether the clipboard's owner has begun to send.
    bool receiving() const;

private:
    QProcess m_process;
    int m_unread = -1;
};

} // namespace tovalit::testing
