#include "platform/linux/wayland_session_pasteboard.h"

#include "platform/linux/qt_clipboard_pasteboard.h"

#include <QTimer>

namespace tovalit {

WaylandSessionPasteboard::WaylandSessionPasteboard(
    std::shared_ptr<Pasteboard> xClipboard,
    std::unique_ptr<WaylandDataControlSelection> sessionSelection,
    std::function<bool()> xWindowHasFocus)
    : m_xClipboard(std::move(xClipboard))
    , m_sessionSelection(std::move(sessionSelection))
    , m_xWindowHasFocus(std::move(xWindowHasFocus))
    , m_context(std::make_unique<QObject>()) {}

WaylandSessionPasteboard::~WaylandSessionPasteboard() = default;

void WaylandSessionPasteboard::passOnClear() {
    if (const auto withdrawal = std::exchange(m_pendingWithdrawal, std::nullopt))
        m_sessionSelection->withdraw(*withdrawal);
}

QCoro::Task<QList<PasteboardItem>> WaylandSessionPasteboard::pasteboardItems() {
    // With a native window in front the X server's clipboard holds an old
    // copy, or nothing; with an X window in front the session holds what
    // the X server's does.
    passOnClear();
    PasteboardItem item;
    item.representations = co_await m_sessionSelection->read();
    if (item.representations.isEmpty())
        co_return QList<PasteboardItem>{};
    co_return QList<PasteboardItem>{item};
}

qint64 WaylandSessionPasteboard::changeCount() {
    // The X server's own count would miss a copy made in a native window,
    // and move when the compositor lends it the session's clipboard as an
    // X window takes the focus.
    return m_ownChanges + m_sessionSelection->changeCount();
}

void WaylandSessionPasteboard::clearContents() {
    ++m_ownChanges;
    m_xClipboard->clearContents();
    // Withdrawn first and written after, a copy of the user's being put
    // back would leave the clipboard empty whenever the write failed.
    passOnClear();
    m_pendingWithdrawal = m_sessionSelection->withdrawal();
    QTimer::singleShot(0, m_context.get(), [this] { passOnClear(); });
    m_lastWriteOffered = false;
}

bool WaylandSessionPasteboard::sessionHasLastWrite() {
    return m_lastWriteOffered || m_xClipboard->sessionHasLastWrite();
}

bool WaylandSessionPasteboard::seesReads() {
    return m_xClipboard->seesReads();
}

QList<PasteboardRead> WaylandSessionPasteboard::readsOfLastWrite() {
    // With an X window in front the paste reads the X server's clipboard;
    // with a native one, our offer to the session.
    if (!m_lastWriteOffered)
        return m_xClipboard->readsOfLastWrite();
    return QList<PasteboardRead>(
        qMax<qint64>(0, m_sessionSelection->contentReads() - m_readsBeforeLastWrite));
}

bool WaylandSessionPasteboard::writeObjects(const QList<PasteboardItem> &items) {
    ++m_ownChanges;
    m_lastWriteOffered = false;
    m_readsBeforeLastWrite = m_sessionSelection->contentReads();
    if (!m_xClipboard->writeObjects(items)) {
        passOnClear();
        return false;
    }
    // What is written takes the place of what the clear would withdraw:
    // offered here, or taken into the session from the X server.
    m_pendingWithdrawal.reset();
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
    // The mark that tells the session's clipboard holds our write.
    forms.append({QtClipboardPasteboard::ownWriteType, QByteArray::number(m_ownChanges)});
    m_lastWriteOffered = m_sessionSelection->offer(forms);
    return m_lastWriteOffered;
}

} // namespace tovalit
