#include "platform/fake/in_memory_pasteboard.h"

namespace tovalit {

QCoro::Task<QList<PasteboardItem>> InMemoryPasteboard::pasteboardItems() {
    co_return m_items;
}

void InMemoryPasteboard::clearContents() {
    m_items.clear();
    ++m_changeCount;
}

bool InMemoryPasteboard::writeObjects(const QList<PasteboardItem> &items) {
    if (m_refusedWrites > 0) {
        --m_refusedWrites;
        return false;
    }
    m_items.append(items);
    ++m_changeCount;
    ++m_writeCount;
    return true;
}

void InMemoryPasteboard::copyFromElsewhere(const QString &text) {
    PasteboardItem item;
    item.setString(text);
    setItems({item});
}

void InMemoryPasteboard::setItems(QList<PasteboardItem> items) {
    m_items = std::move(items);
    ++m_changeCount;
}

std::optional<QString> InMemoryPasteboard::string() const {
    if (m_items.isEmpty())
        return std::nullopt;
    const auto data = m_items.first().data(stringType);
    if (!data)
        return std::nullopt;
    return QString::fromUtf8(*data);
}

} // namespace tovalit
