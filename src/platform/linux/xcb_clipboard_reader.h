#pragma once

#include "platform/linux/clipboard_form_choice.h"
#include "platform/pasteboard.h"

#include <QByteArray>
#include <QList>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>

namespace tovalit {

class SerialExecutor;

// Reads what another X client holds on a selection (CLIPBOARD, or PRIMARY
// for the programs that paste from it), on a thread and an X connection of
// its own, so that an owner that is slow or
// hangs holds up neither the GUI thread nor Qt's own connection.
//
// It keeps what a restore needs to offer the same content again: one text
// (the desktop re-offers it under every text target), one encoding of an
// image (PNG when offered), and every other MIME format within the limits.
// A format left out comes back without data, with the reason.
class XcbClipboardReader {
public:
    explicit XcbClipboardReader(ClipboardReadLimits limits = {},
                                QByteArray selection = QByteArrayLiteral("CLIPBOARD"));
    ~XcbClipboardReader();
    XcbClipboardReader(const XcbClipboardReader &) = delete;
    XcbClipboardReader &operator=(const XcbClipboardReader &) = delete;

    // The owner's formats in its order, those kept with their bytes;
    // nothing when the clipboard is empty or there is no X server.
    QCoro::Task<QList<PasteboardRepresentation>> read();

private:
    class Session;

    ClipboardReadLimits m_limits;
    QByteArray m_selection;
    std::shared_ptr<Session> m_session;
    // Declared last: its work never outlives the rest.
    std::unique_ptr<SerialExecutor> m_executor;
};

} // namespace tovalit
