#pragma once

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
// Needs the QGuiApplication; used on the GUI thread only.
class QtClipboardPasteboard final : public Pasteboard {
public:
    QtClipboardPasteboard();
    ~QtClipboardPasteboard() override;

    QList<PasteboardItem> pasteboardItems() override;
    qint64 changeCount() override;
    void clearContents() override;
    bool writeObjects(const QList<PasteboardItem> &items) override;

    static inline const QString ownWriteType =
        QStringLiteral("application/x-tovalit-pasteboard-write");

private:
    bool holdsOwnWrite() const;
    void clipboardChanged();

    std::unique_ptr<QObject> m_context;
    bool m_tracksOwnership = false;
    qint64 m_changeCount = 0;
    // The number of our last write while it may still be on the clipboard.
    std::optional<qint64> m_ownWrite;
};

} // namespace tovalit
