#pragma once

#include "platform/linux/xcb_clipboard_reader.h"
#include "platform/linux/xcb_clipboard_request_watch.h"
#include "platform/pasteboard.h"

#include <memory>
#include <optional>

class QObject;

namespace tovalit {

// The desktop clipboard through QClipboard.
//
// X11 keeps no change counter, so we keep our own: it moves on every write
// of ours and on every change another client makes. Our writes carry a
// private MIME type with their number, so a later reading can tell whether
// the clipboard still holds exactly that write. Qt keeps the content of
// our writes alive and serves it to other applications for as long as the
// process runs and nobody else takes the clipboard.
//
// What another X client holds is read off the GUI thread, within the
// limits; what we hold ourselves (or the in-process clipboard of a
// platform without a window system) is read at once.
//
// Needs the QGuiApplication; used on the GUI thread only.
class QtClipboardPasteboard final : public Pasteboard {
public:
    explicit QtClipboardPasteboard(ClipboardReadLimits limits = {});
    ~QtClipboardPasteboard() override;

    QCoro::Task<QList<PasteboardItem>> pasteboardItems() override;
    qint64 changeCount() override;
    void clearContents() override;
    bool writeObjects(const QList<PasteboardItem> &items) override;
    // Once another client has asked for our last write: the compositor of
    // a Wayland session takes it into its session that way.
    bool sessionHasLastWrite() override;

    static inline const QString ownWriteType =
        QStringLiteral("application/x-tovalit-pasteboard-write");

private:
    // Our own or the in-process clipboard, without a round trip.
    QList<PasteboardRepresentation> localRepresentations() const;
    bool holdsOwnWrite() const;
    void clipboardChanged();

    std::unique_ptr<QObject> m_context;
    bool m_tracksOwnership = false;
    qint64 m_changeCount = 0;
    // The number of our last write while it may still be on the clipboard.
    std::optional<qint64> m_ownWrite;
    // Whether another client has asked for our last write since it was made.
    bool m_ownWriteRequested = false;
    // Another X client's clipboard, and its requests for ours; none off X.
    std::unique_ptr<XcbClipboardReader> m_reader;
    std::unique_ptr<XcbClipboardRequestWatch> m_requests;
};

} // namespace tovalit
