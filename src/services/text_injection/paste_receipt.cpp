#include "services/text_injection/paste_receipt.h"

#include "platform/pasteboard.h"

#include <QFileInfo>

#include <unistd.h>

namespace tovalit {

namespace {

// One program may read the clipboard from another of its processes than
// the one its window or accessibility answers from: the same executable
// counts as the same program. A clipboard manager is another program.
bool sameProgram(qint32 reader, qint32 target) {
    if (reader == target)
        return true;
    const QString readerProgram =
        QFileInfo(QStringLiteral("/proc/%1/exe").arg(reader)).symLinkTarget();
    return !readerProgram.isEmpty() &&
           readerProgram == QFileInfo(QStringLiteral("/proc/%1/exe").arg(target)).symLinkTarget();
}

} // namespace

PasteReceipt::PasteReceipt(std::shared_ptr<Pasteboard> pasteboard, std::optional<qint32> target,
                           bool anyReader, MonotonicClock clock)
    : m_pasteboard(std::move(pasteboard))
    , m_target(target)
    , m_anyReader(anyReader)
    , m_clock(std::move(clock))
    , m_keysAt(m_clock()) {
    if (m_pasteboard && m_pasteboard->seesReads())
        m_readsBefore = m_pasteboard->readsOfLastWrite().size();
}

double PasteReceipt::sinceKeys() const {
    return m_clock ? m_clock() - m_keysAt : 0;
}

bool PasteReceipt::tells() const {
    return m_pasteboard && m_pasteboard->seesReads();
}

bool PasteReceipt::fromTarget(const std::optional<qint32> &reader) const {
    // Our own windows never paste a dictation.
    if (reader == qint32(::getpid()))
        return false;
    return m_anyReader || !m_target || !reader || sameProgram(*reader, *m_target);
}

bool PasteReceipt::taken() const {
    if (!tells())
        return false;
    const QList<PasteboardRead> reads = m_pasteboard->readsOfLastWrite();
    for (qsizetype index = m_readsBefore; index < reads.size(); ++index) {
        if (reads[index].content && fromTarget(reads[index].processIdentifier))
            return true;
    }
    return false;
}

qsizetype PasteReceipt::targetRequests() const {
    const QList<PasteboardRead> reads = m_pasteboard->readsOfLastWrite();
    qsizetype count = 0;
    for (qsizetype index = m_readsBefore; index < reads.size(); ++index)
        count += fromTarget(reads[index].processIdentifier) ? 1 : 0;
    return count;
}

QCoro::Task<bool> PasteReceipt::waitUntilTaken(double limit, Sleeper sleeper) const {
    if (!tells())
        co_return false;
    qsizetype requests = -1;
    double quietSince = 0;
    for (;;) {
        const bool read = taken();
        const qsizetype now = targetRequests();
        if (now != requests) {
            requests = now;
            quietSince = sinceKeys();
        }
        if (read && sinceKeys() - quietSince >= quietAfterReads)
            co_return true;
        if (sinceKeys() >= limit)
            co_return read;
        co_await sleeper(lookInterval, CancelToken());
    }
}

} // namespace tovalit
