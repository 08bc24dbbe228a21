#pragma once

#include "support/clock.h"
#include "support/sleeper.h"

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

namespace tovalit {

class Pasteboard;

// Whether the program a paste went to has taken the text from our
// clipboard. It reads the clipboard only when it handles the keys, which a
// busy program does well after they went out: until then neither a look at
// its field nor the user's clipboard put back can tell the paste's fate,
// and a clipboard put back too early is what it pastes. A clipboard
// manager that copies every new clipboard is not the target.
//
// Made just before the keys go out; reads before that are not the paste's.
class PasteReceipt {
public:
    // Nothing is known without a clipboard.
    PasteReceipt() = default;
    // `target`: the process the keys went to, where known. `anyReader`:
    // the keys went to a native window of a Wayland session, whose paste
    // comes to us through the compositor, in its name or in none.
    PasteReceipt(std::shared_ptr<Pasteboard> pasteboard, std::optional<qint32> target,
                 bool anyReader, MonotonicClock clock);

    // Whether the clipboard sees the paste taken at all; where it does
    // not, nothing below is known.
    bool tells() const;
    // Whether the target has read our write since the keys.
    bool taken() const;
    // Waits until the target has read our write and then gone quiet,
    // until `limit` seconds after the keys at most; whether it has read
    // it. A browser asks several times in one paste (what forms there
    // are, and the text more than once), so the first read may not be the
    // one it pastes.
    QCoro::Task<bool> waitUntilTaken(double limit, Sleeper sleeper) const;
    // Seconds since the keys went out.
    double sinceKeys() const;

    // How often the wait looks again: the read comes on the GUI thread's
    // event loop, which runs in between.
    static constexpr double lookInterval = 0.02;
    // How long the target asks nothing more before its paste counts as
    // done.
    static constexpr double quietAfterReads = 0.3;

private:
    // The target's requests since the keys, of any kind.
    qsizetype targetRequests() const;
    bool fromTarget(const std::optional<qint32> &reader) const;

    std::shared_ptr<Pasteboard> m_pasteboard;
    qsizetype m_readsBefore = 0;
    std::optional<qint32> m_target;
    bool m_anyReader = false;
    MonotonicClock m_clock;
    double m_keysAt = 0;
};

} // namespace tovalit
