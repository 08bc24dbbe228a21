#include "services/text_injection/clipboard_head_start.h"

#include "platform/pasteboard.h"

namespace tovalit {

ClipboardHeadStart::ClipboardHeadStart(std::shared_ptr<Pasteboard> pasteboard, QString text,
                                       PasteboardSnapshot snapshot, qint64 changeCount)
    : m_pasteboard(std::move(pasteboard))
    , m_text(std::move(text))
    , m_snapshot(std::move(snapshot))
    , m_changeCount(changeCount) {}

ClipboardHeadStart::~ClipboardHeadStart() {
    if (!m_takenOver)
        m_snapshot.writeBackUnlessChanged(*m_pasteboard, m_changeCount);
}

bool ClipboardHeadStart::stands() const {
    return m_pasteboard->changeCount() == m_changeCount;
}

} // namespace tovalit
