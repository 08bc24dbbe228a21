#pragma once

#include "platform/linux/clipboard_form_choice.h"
#include "platform/pasteboard.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>
#include <utility>

namespace tovalit {

class SerialExecutor;

// The clipboard of a Wayland session as its native applications copy and
// paste, through the compositor's data-control protocol
// (zwlr_data_control_manager_v1, offered by KDE Plasma and wlroots
// desktops). Our windows go through XWayland, and these compositors carry
// the session's clipboard to and from the X server only while an X window
// has the focus; with a native window in front, the X server neither sees
// a copy made there nor reaches the window the user pastes into. Data
// control needs no focus.
//
// A connection of our own to the compositor, served by a thread of its
// own that watches the session's clipboard and hands our text to whoever
// pastes it for as long as it is the clipboard: each paste as its reader
// takes the bytes, so that one that reads slowly, or not at all, holds up
// neither the others nor the next offer. What another application
// holds is read on a thread of its own again, within the limits, so that
// an owner that is slow or hangs holds up neither the GUI thread nor our
// own offers. Any thread may call in; calls are serialised.
class WaylandDataControlSelection {
public:
    // One form of the clipboard's content: a MIME type and its bytes.
    using Form = std::pair<QString, QByteArray>;

    // Null without a Wayland display, or where the compositor offers no
    // data control. A clipboard offering `ownType` holds a write of ours:
    // offered here, or our X clipboard that the compositor took into the
    // session.
    static std::unique_ptr<WaylandDataControlSelection> connect(QString ownType,
                                                                ClipboardReadLimits limits = {});
    ~WaylandDataControlSelection();
    WaylandDataControlSelection(const WaylandDataControlSelection &) = delete;
    WaylandDataControlSelection &operator=(const WaylandDataControlSelection &) = delete;

    // Makes `forms` the clipboard (text also under the names Wayland and
    // X11 applications ask for); false when the compositor did not take
    // it, or did not answer within a second. Then it never reaches the
    // clipboard later: our offer before it is put back, and another
    // application's copy that it replaced is withdrawn with it.
    bool offer(const QList<Form> &forms);
    // What the clipboard holds now, for a withdraw later.
    struct Withdrawal {
        quint64 seen = 0;
    };
    Withdrawal withdrawal() const;
    // Empties the clipboard if it still holds what it held at `withdrawal`
    // and that is a write of ours: our last offer, or our X clipboard that
    // the compositor took into the session.
    void withdraw(Withdrawal withdrawal);

    // Moves whenever an application asks for the content of an offer of
    // ours: a paste of it, or a clipboard manager's copy.
    qint64 contentReads() const;
    // Moves whenever another application's copy becomes the session's
    // clipboard; neither a write of ours nor an emptied clipboard moves it.
    qint64 changeCount() const;
    // The session's clipboard now, as XcbClipboardReader keeps the X
    // server's: the owner's forms in its order, those kept with their
    // bytes, the others with the reason; nothing when it is empty. An
    // owner that did not answer is not asked again for the same content.
    QCoro::Task<QList<PasteboardRepresentation>> read();

    struct Connection;

private:
    WaylandDataControlSelection(std::unique_ptr<Connection> connection, ClipboardReadLimits limits);
    std::unique_ptr<Connection> m_connection;
    ClipboardReadLimits m_limits;
    // The content whose owner did not answer a read; the reader's only.
    std::optional<quint64> m_silentSelection;
    // Declared last: its reads never outlive the connection.
    std::unique_ptr<SerialExecutor> m_reader;
};

} // namespace tovalit
