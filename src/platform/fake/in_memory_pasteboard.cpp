#include "platform/fake/in_memory_pasteboard.h"

namespace tovalit {

QCoro::Task<QList<PasteboardItem>> InMemoryPasteboard::pasteboardItems() {
    // A copy: QCoro's return_value moves from whatever lvalue it is given.
    co_return QList<PasteboardItem>(m_items);
}

namespace {

std::optional<QString> stringOf(const QList<PasteboardItem> &items) {
    if (items.isEmpty())
        return std::nullopt;
    const auto data = items.first().data(Pasteboard::stringType);
    if (!data)
        return std::nullopt;
    return QString::fromUtf8(*data);
}

} // namespace

void InMemoryPasteboard::clearContents() {
    m_items.clear();
    m_holdsOwnWrite = false;
    m_reads.clear();
    ++m_changeCount;
    if (!m_sessionHeld)
        letSessionTakeClipboard();
}

bool InMemoryPasteboard::writeObjects(const QList<PasteboardItem> &items) {
    if (m_refusedWrites > 0) {
        --m_refusedWrites;
        return false;
    }
    m_items.append(items);
    ++m_changeCount;
    ++m_writeCount;
    m_holdsOwnWrite = true;
    m_reads.clear();
    if (!m_sessionHeld)
        letSessionTakeClipboard();
    return true;
}

void InMemoryPasteboard::copyFromElsewhere(const QString &text) {
    PasteboardItem item;
    item.setString(text);
    setItems({item});
}

void InMemoryPasteboard::setItems(QList<PasteboardItem> items) {
    m_items = std::move(items);
    m_holdsOwnWrite = false;
    ++m_changeCount;
    if (!m_sessionHeld)
        letSessionTakeClipboard();
}

void InMemoryPasteboard::holdWritesFromSession(bool hold) {
    m_sessionHeld = hold;
    if (!hold)
        letSessionTakeClipboard();
}

std::optional<QString> InMemoryPasteboard::readBy(std::optional<qint32> process) {
    if (m_holdsOwnWrite)
        m_reads.append(PasteboardRead{process});
    return string();
}

std::optional<QString> InMemoryPasteboard::string() const {
    return stringOf(m_items);
}

std::optional<QString> InMemoryPasteboard::sessionString() const {
    return stringOf(m_sessionItems);
}

} // namespace tovalit
