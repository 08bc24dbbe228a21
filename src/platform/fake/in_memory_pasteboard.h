#pragma once

#include "platform/pasteboard.h"

namespace tovalit {

// A clipboard in memory, for tests: every clear and write counts as a
// change, writes can be refused, and "another application" can copy.
class InMemoryPasteboard final : public Pasteboard {
public:
    QCoro::Task<QList<PasteboardItem>> pasteboardItems() override;
    qint64 changeCount() override { return m_changeCount; }
    void clearContents() override;
    bool writeObjects(const QList<PasteboardItem> &items) override;

    // Another application copies `text`.
    void copyFromElsewhere(const QString &text);
    // Another application copies these items.
    void setItems(QList<PasteboardItem> items);
    // What it holds, at once.
    QList<PasteboardItem> items() const { return m_items; }
    // The text of the first item, when there is one.
    std::optional<QString> string() const;
    // The next `count` writes fail.
    void refuseNextWrites(int count) { m_refusedWrites = count; }
    int writeCount() const { return m_writeCount; }

    bool sessionHasLastWrite() override { return m_sessionItems == m_items; }
    // A compositor that takes the clipboard into its session only when the
    // test lets it (held), or at once.
    void holdWritesFromSession(bool hold);
    void letSessionTakeClipboard() { m_sessionItems = m_items; }
    // The text a native window of the session pastes now.
    std::optional<QString> sessionString() const;

    bool seesReads() override { return m_seesReads; }
    QList<PasteboardRead> readsOfLastWrite() override { return m_reads; }
    // A desktop that shows who reads our writes; by default one that
    // does not.
    void setSeesReads(bool sees) { m_seesReads = sees; }
    // Another application (of `process`, where told) pastes or copies
    // what the clipboard holds now: its text, or nothing when it holds no
    // text.
    std::optional<QString> readBy(std::optional<qint32> process);

private:
    QList<PasteboardItem> m_items;
    QList<PasteboardItem> m_sessionItems;
    bool m_sessionHeld = false;
    qint64 m_changeCount = 0;
    int m_writeCount = 0;
    int m_refusedWrites = 0;
    bool m_seesReads = false;
    // Whether it holds our last write, and who has read that.
    bool m_holdsOwnWrite = false;
    QList<PasteboardRead> m_reads;
};

} // namespace tovalit
