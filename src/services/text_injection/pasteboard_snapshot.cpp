#include "services/text_injection/pasteboard_snapshot.h"

#include "services/settings/tovalit_debug_logger.h"

namespace tovalit {

std::optional<PasteboardSnapshot::Item>
PasteboardSnapshot::Item::fromPasteboardItem(const PasteboardItem &pasteboardItem) {
    Item item;
    for (const PasteboardRepresentation &representation : pasteboardItem.representations) {
        if (representation.data)
            item.representations.append(Representation{representation.type, *representation.data});
    }
    if (item.representations.isEmpty())
        return std::nullopt;
    return item;
}

PasteboardItem PasteboardSnapshot::Item::makePasteboardItem() const {
    PasteboardItem item;
    for (const Representation &representation : representations)
        item.setData(representation.type, representation.data);
    return item;
}

PasteboardSnapshot::PasteboardSnapshot(const QList<PasteboardItem> &items) {
    for (const PasteboardItem &pasteboardItem : items) {
        if (auto item = Item::fromPasteboardItem(pasteboardItem))
            this->items.append(std::move(*item));
    }
    unreadable = !items.isEmpty() && this->items.isEmpty();
}

QList<PasteboardItem> PasteboardSnapshot::makePasteboardItems() const {
    QList<PasteboardItem> result;
    result.reserve(items.size());
    for (const Item &item : items)
        result.append(item.makePasteboardItem());
    return result;
}

namespace {

void logRestore(const QString &message) {
    TovalitDebugLogger::log(QStringLiteral("insert.restore"), message);
}

} // namespace

void PasteboardSnapshot::writeBack(Pasteboard &pasteboard, const QString &selection) const {
    if (unreadable) {
        // What it held before could not be read: the dictation stays on it.
        logRestore(selection + QStringLiteral(" kept | reason=unreadable-before"));
        return;
    }
    const QList<PasteboardItem> rebuilt = makePasteboardItems();
    pasteboard.clearContents();
    if (!rebuilt.isEmpty() && !pasteboard.writeObjects(rebuilt))
        logRestore(selection + QStringLiteral(" not restored | reason=write-refused"));
}

void PasteboardSnapshot::writeBackUnlessChanged(Pasteboard &pasteboard, qint64 expectedChangeCount,
                                                const QString &selection) const {
    if (pasteboard.changeCount() != expectedChangeCount) {
        logRestore(selection + QStringLiteral(" kept | reason=changed-since"));
        return;
    }
    writeBack(pasteboard, selection);
}

} // namespace tovalit
