#pragma once

#include "tests/support/clipboard_owner_process.h"

#include <QString>

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
    // within ten seconds.
    static std::optional<QString> paste();

private:
    WaylandClipboardClient() = default;
};

} // namespace tovalit::testing
