#pragma once

#include "platform/linux/wayland_data_control_selection.h"
#include "platform/pasteboard.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

// The clipboard in a Wayland session whose compositor offers data
// control. The session's own clipboard is the one the user copies to and
// pastes from, whichever window has the focus: it is what a snapshot
// reads and what tells whether anybody copied since our write. The X
// server's clipboard, through `xClipboard`, is where our windows and the
// XWayland applications copy and paste; the compositor carries it to and
// from the session only while an X window has the focus, and keeps it
// apart otherwise. So a write goes to the X server's clipboard, and, while
// a native Wayland window has the focus, the same forms are offered to the
// session itself, so that a paste there finds them.
// GUI thread only.
class WaylandSessionPasteboard final : public Pasteboard {
public:
    // `sessionSelection` must have been connected with
    // QtClipboardPasteboard::ownWriteType as the mark of our writes.
    // `xWindowHasFocus` tells whether one of the X server's windows has the
    // focus.
    WaylandSessionPasteboard(std::shared_ptr<Pasteboard> xClipboard,
                             std::unique_ptr<WaylandDataControlSelection> sessionSelection,
                             std::function<bool()> xWindowHasFocus);
    ~WaylandSessionPasteboard() override;

    QCoro::Task<QList<PasteboardItem>> pasteboardItems() override;
    // Moves with every write of ours and every copy another application
    // makes to the session's clipboard.
    qint64 changeCount() override;
    // A write that follows at once takes the place of what is cleared, so
    // the session's clipboard is emptied only when none does: a write
    // that fails then leaves what was there, never an empty clipboard.
    void clearContents() override;
    // False also when the session would not take what a native window
    // pastes from.
    bool writeObjects(const QList<PasteboardItem> &items) override;
    // At once for a write offered to the session itself.
    bool sessionHasLastWrite() override;
    // A native window reads a write offered to the session from us, and
    // says nothing of who it is.
    bool seesReads() override;
    QList<PasteboardRead> readsOfLastWrite() override;

private:
    void passOnClear();

    std::shared_ptr<Pasteboard> m_xClipboard;
    std::unique_ptr<WaylandDataControlSelection> m_sessionSelection;
    std::function<bool()> m_xWindowHasFocus;
    bool m_lastWriteOffered = false;
    // The session's reads of our offers before the last write.
    qint64 m_readsBeforeLastWrite = 0;
    // A clear not yet passed to the session; a write drops it.
    std::optional<WaylandDataControlSelection::Withdrawal> m_pendingWithdrawal;
    // Passes the pending clear on once the GUI thread's event loop turns.
    std::unique_ptr<QObject> m_context;
    // Our clears and writes.
    qint64 m_ownChanges = 0;
};

} // namespace tovalit
