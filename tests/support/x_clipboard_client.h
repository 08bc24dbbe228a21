#pragma once

#include "tests/support/clipboard_owner_process.h"

#include <QString>

#include <memory>
#include <optional>

namespace tovalit::testing {

// Another application on the X clipboard (xclip in a process of its own),
// for the desktop tests. Waiting happens with the event loop running, so
// this process can serve the clipboard while the other one reads it.
class XClipboardClient final : public ClipboardOwnerProcess {
public:
    // Takes the clipboard with `text` and serves it until it loses the
    // clipboard or the object goes; waits (bounded) until the clipboard is
    // its own. A failure is reported to the test and gives nothing.
    static std::unique_ptr<XClipboardClient> copy(const QString &text);

    // What a paste into another application gets now; nothing when the
    // clipboard holds no text.
    static std::optional<QString> paste();

private:
    XClipboardClient() = default;
};

} // namespace tovalit::testing
