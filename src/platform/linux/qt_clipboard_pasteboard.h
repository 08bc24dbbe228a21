#pragma once

#include "platform/linux/xcb_clipboard_reader.h"
#include "platform/linux/xcb_clipboard_request_watch.h"
#include "platform/pasteboard.h"

#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>

class QMimeData;
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
// On X it also sees other clients read our writes, and which process each
// was.
//
// The same for the PRIMARY selection, which some terminals paste from.
//
// A clear waits for the event loop's next turn, and a write made before
// then takes its place: see clearContents().
//
// Needs the QGuiApplication; used on the GUI thread only.
class QtClipboardPasteboard final : public Pasteboard {
public:
    enum class Selection { clipboard, primary };

    explicit QtClipboardPasteboard(ClipboardReadLimits limits = {},
                                   Selection selection = Selection::clipboard);
    ~QtClipboardPasteboard() override;

    QCoro::Task<QList<PasteboardItem>> pasteboardItems() override;
    qint64 changeCount() override;
    void clearContents() override;
    bool writeObjects(const QList<PasteboardItem> &items) override;
    // Once another client has asked for our last write: the compositor of
    // a Wayland session takes it into its session that way.
    bool sessionHasLastWrite() override;
    bool seesReads() override;
    QList<PasteboardRead> readsOfLastWrite() override;

    static inline const QString ownWriteType =
        QStringLiteral("application/x-tovalit-pasteboard-write");

private:
    // Our own or the in-process clipboard, without a round trip.
    QList<PasteboardRepresentation> localRepresentations() const;
    bool holdsOwnWrite() const;
    bool ownsSelection() const;
    void clipboardChanged();
    void requested(const XcbClipboardRequestWatch::Request &request);
    // Whether a request for `form` gets the content of our last write: a
    // request for a form we do not hold is refused, and the program asks
    // again for another.
    bool offersForm(const QByteArray &form) const;
    static std::unique_ptr<QMimeData> mimeDataOf(const QList<PasteboardItem> &items);
    // Hands a write to Qt; whether the selection is ours with it.
    bool take(const QList<PasteboardItem> &items);
    // Carries out a clear no write took the place of.
    void passOnClear();

    std::unique_ptr<QObject> m_context;
    Selection m_selection;
    bool m_tracksOwnership = false;
    qint64 m_changeCount = 0;
    // The number of our last write while it may still be on the clipboard.
    std::optional<qint64> m_ownWrite;
    // Whether another client has asked for our last write since it was made.
    bool m_ownWriteRequested = false;
    // Who asked for our last write, in order. The process is asked at
    // once: a client that read and quit is known no more.
    QList<PasteboardRead> m_reads;
    // The forms of our last write, as X clients ask for them.
    QStringList m_writtenForms;
    // Our last write, while Qt keeps it.
    QPointer<QMimeData> m_written;
    // Another X client's clipboard, and its requests for ours; none off X.
    std::unique_ptr<XcbClipboardReader> m_reader;
    std::unique_ptr<XcbClipboardRequestWatch> m_requests;
    // A clear not yet handed to Qt; a write drops it.
    bool m_clearPending = false;
    // While Qt carries out our own clear, whose change is counted already.
    bool m_passingOnClear = false;
};

} // namespace tovalit
