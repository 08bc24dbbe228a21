#pragma once

#include "platform/pasteboard.h"

namespace tovalit {

// A clipboard in memory, for tests: every clear and write counts as a
// change, writes can be refused, and "another application" can copy.
class InMemoryPasteboard final : public Pasteboard {
public:
    QList<PasteboardItem> pasteboardItems() override { return m_items; }
    qint64 changeCount() override { return m_changeCount; }
    void clearContents() override;
    bool writeObjects(const QList<PasteboardItem> &items) override;

    // Another application copies `text`.
    void copyFromElsewhere(const QString &text);
    // Another application copies these items.
    void setItems(QList<PasteboardItem> items);
    // The text of the first item, when there is one.
    std::optional<QString> string() const;
    void setRefusesWrites(bool refuses) { m_refusesWrites = refuses; }
    int writeCount() const { return m_writeCount; }

private:
    QList<PasteboardItem> m_items;
    qint64 m_changeCount = 0;
    int m_writeCount = 0;
    bool m_refusesWrites = false;
};

} // namespace tovalit
