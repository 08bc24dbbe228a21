#pragma once

#include "platform/pasteboard.h"

#include <functional>
#include <memory>

namespace tovalit {

class WaylandDataControlSelection;

// The clipboard in a Wayland session whose compositor offers data
// control: the X server's clipboard, through `xClipboard`, which is where
// our windows and the XWayland applications copy and paste; and, for a
// write made while a native Wayland window has the focus (whose
// application the X server's clipboard does not reach then), the same
// forms offered to the session itself, so that a paste there finds them.
// GUI thread only.
class WaylandSessionPasteboard final : public Pasteboard {
public:
    // `xWindowHasFocus` tells whether one of the X server's windows has the
    // focus.
    WaylandSessionPasteboard(std::shared_ptr<Pasteboard> xClipboard,
                             std::unique_ptr<WaylandDataControlSelection> sessionSelection,
                             std::function<bool()> xWindowHasFocus);
    ~WaylandSessionPasteboard() override;

    QCoro::Task<QList<PasteboardItem>> pasteboardItems() override;
    qint64 changeCount() override;
    void clearContents() override;
    // False also when the session would not take what a native window
    // pastes from.
    bool writeObjects(const QList<PasteboardItem> &items) override;
    // At once for a write offered to the session itself.
    bool sessionHasLastWrite() override;

private:
    std::shared_ptr<Pasteboard> m_xClipboard;
    std::unique_ptr<WaylandDataControlSelection> m_sessionSelection;
    std::function<bool()> m_xWindowHasFocus;
    bool m_lastWriteOffered = false;
};

} // namespace tovalit
