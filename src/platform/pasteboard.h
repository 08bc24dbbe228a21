#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <optional>

namespace tovalit {

// One form of an item on the clipboard: a MIME type and its bytes, or
// nothing when they could not be had, with the reason when it is known
// (the owner did not answer, refused, or the form was left out).
struct PasteboardRepresentation {
    QString type;
    std::optional<QByteArray> data;
    QString missingReason = {};

    bool operator==(const PasteboardRepresentation &) const = default;
};

// One item on the clipboard, in all the forms it is offered in, in the
// owner's order.
struct PasteboardItem {
    QList<PasteboardRepresentation> representations;

    // Replaces the data of `type`, or adds it at the end.
    void setData(const QString &type, QByteArray data);
    // The text as UTF-8 under Pasteboard::stringType.
    void setString(const QString &text);
    std::optional<QByteArray> data(const QString &type) const;

    bool operator==(const PasteboardItem &) const = default;
};

// Another application asking for our last write: pasting it, or a
// clipboard manager keeping a copy.
struct PasteboardRead {
    // The process that asked, where the desktop tells.
    std::optional<qint32> processIdentifier;
    // Whether it took the content, not only asked what forms are on offer
    // (a program about to paste, or checking whether it could).
    bool content = true;

    bool operator==(const PasteboardRead &) const = default;
};

// The system clipboard, shaped the way the insertion uses it: a list of
// items, a count that changes whenever anybody writes, and whole-content
// writes. Used on the GUI thread only.
class Pasteboard {
public:
    static inline const QString stringType = QStringLiteral("text/plain");

    virtual ~Pasteboard() = default;

    // What the clipboard holds now; empty when nothing. Another
    // application may have to hand it over, so the answer comes when it
    // has (or has taken too long), never holding up the GUI thread.
    virtual QCoro::Task<QList<PasteboardItem>> pasteboardItems() = 0;
    // Changes whenever the content changes, by our hand or another
    // application's; equal readings mean nobody wrote in between.
    virtual qint64 changeCount() = 0;
    virtual void clearContents() = 0;
    // Puts the items on the clipboard; false when the clipboard would not
    // take them.
    virtual bool writeObjects(const QList<PasteboardItem> &items) = 0;
    // Whether a native window of a Wayland session pasting now gets our
    // last write. A compositor that takes the X server's clipboard into its
    // session does so by reading it from us, a moment after the write (a
    // busy one, after a good many); until then a paste there gets what the
    // session held before. True where nothing stands in between.
    virtual bool sessionHasLastWrite() { return true; }
    // Whether this clipboard sees other applications read our writes: a
    // paste is known to have happened only where it does.
    virtual bool seesReads() { return false; }
    // The requests for our last write so far, oldest first; a new write
    // starts afresh. Empty where they are not seen.
    virtual QList<PasteboardRead> readsOfLastWrite() { return {}; }
};

} // namespace tovalit
