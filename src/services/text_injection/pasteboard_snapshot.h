#pragma once

#include "platform/pasteboard.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tovalit {

// A copy of everything the clipboard held, to put back after the dictated
// text has passed through it. Owns plain bytes, so it stays valid whatever
// happens to the clipboard afterwards.
struct PasteboardSnapshot {
    struct Item {
        struct Representation {
            QString type;
            QByteArray data;

            bool operator==(const Representation &) const = default;
        };

        // The forms whose data could be read, in the item's order; nothing
        // when none could.
        static std::optional<Item> fromPasteboardItem(const PasteboardItem &pasteboardItem);
        PasteboardItem makePasteboardItem() const;

        QList<Representation> representations;

        bool operator==(const Item &) const = default;
    };

    PasteboardSnapshot() = default;
    explicit PasteboardSnapshot(const QList<PasteboardItem> &items);

    // One item to write per item kept, in order.
    QList<PasteboardItem> makePasteboardItems() const;
    // Puts what was kept back in place of whatever the clipboard holds;
    // an empty snapshot leaves it empty. An unreadable one leaves it as it
    // is: clearing it would give nothing back and take the dictation away.
    // `selection` names it in the log, which says why whenever the user's
    // clipboard does not come back.
    void writeBack(Pasteboard &pasteboard,
                   const QString &selection = QStringLiteral("clipboard")) const;
    // The same, unless somebody wrote to it since our write, which left
    // its change count at `expectedChangeCount`: that is theirs to keep.
    void writeBackUnlessChanged(Pasteboard &pasteboard, qint64 expectedChangeCount,
                                const QString &selection = QStringLiteral("clipboard")) const;

    QList<Item> items;
    // The clipboard held something of which nothing could be read: its
    // owner, busy, did not answer in time.
    bool unreadable = false;

    bool operator==(const PasteboardSnapshot &) const = default;
};

} // namespace tovalit
