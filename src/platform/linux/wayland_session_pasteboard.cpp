#include "platform/linux/wayland_session_pasteboard.h"

#include "platform/linux/qt_clipboard_pasteboard.h"
#include "platform/linux/wayland_data_control_selection.h"

namespace tovalit {

WaylandSessionPasteboard::WaylandSessionPasteboard(
    std::shared_ptr<Pasteboard> xClipboard,
    std::unique_ptr<WaylandDataControlSelection> sessionSelection,
    std::function<bool()> xWindowHasFocus)
    : m_xClipboard(std::move(xClipboard))
    , m_sessionSelection(std::move(sessionSelection))
    , m_xWindowHasFocus(std::move(xWindowHasFocus)) {}

WaylandSessionPasteboard::~WaylandSessionPasteboard() = default;

QCoro::Task<QList<PasteboardItem>> WaylandSessionPasteboard::pasteboardItems() {
    return m_xClipboard->pasteboardItems();
}

qint64 WaylandSessionPasteboard::changeCount() {
    return m_xClipboard->changeCount();
}

void WaylandSessionPasteboard::clearContents() {
    m_xClipboard->clearContents();
    m_sessionSelection->withdraw();
    m_lastWriteOffered = false;
}

bool WaylandSessionPasteboard::sessionHasLastWrite() {
    return m_lastWriteOffered || m_xClipboard->sessionHasLastWrite();
}

bool WaylandSessionPasteboard::writeObjects(const QList<PasteboardItem> &items) {
    m_lastWriteOffered = false;
    if (!m_xClipboard->writeObjects(items))
        return false;
    // With an X window in front the compositor takes the X server's
    // clipboard into the session itself; a copy of ours on top would take
    // the X server's clipboard back from us, and with it the restore after
    // a paste.
    if (m_xWindowHasFocus())
        return true;
    QList<WaylandDataControlSelection::Form> forms;
    for (const PasteboardItem &item : items) {
        for (const PasteboardRepresentation &representation : item.representations) {
            if (representation.data && representation.type != QtClipboardPasteboard::ownWriteType)
                forms.append({representation.type, *representation.data});
        }
    }
    m_lastWriteOffered = m_sessionSelection->offer(forms);
    return m_lastWriteOffered;
}

} // namespace tovalit
