#include "platform/linux/xcb_clipboard_reader.h"

#include "platform/linux/xcb_connection.h"
#include "support/serial_executor.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <cstring>
#include <poll.h>

namespace tovalit {

namespace {

using Clock = std::chrono::steady_clock;

// One conversion's outcome: the bytes, or why there are none.
using Transfer = ClipboardTransfer;

} // namespace

class XcbClipboardReader::Session {
public:
    // Nothing when there is no X server.
    static std::unique_ptr<Session> open(const QByteArray &selection);
    ~Session();

    QList<PasteboardRepresentation> read(const ClipboardReadLimits &limits);

private:
    Session(std::shared_ptr<XcbConnection> x, const QByteArray &selection);

    xcb_atom_t intern(const char *name);
    QString atomName(xcb_atom_t atom);
    Transfer convert(xcb_atom_t target, Clock::time_point deadline, qint64 budget,
                     std::chrono::milliseconds answerTimeout);
    Transfer readIncrementally(Clock::time_point deadline, qint64 budget,
                               std::chrono::milliseconds answerTimeout);
    // The next event `accept` takes, or nothing by `deadline`.
    XcbReply<xcb_generic_event_t>
    waitForEvent(Clock::time_point deadline,
                 const std::function<bool(const xcb_generic_event_t *)> &accept);
    void discardEvents();

    std::shared_ptr<XcbConnection> m_x;
    xcb_connection_t *m_connection;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_selectionAtom;
    xcb_atom_t m_targets;
    xcb_atom_t m_incr;
    xcb_atom_t m_property;
    QHash<xcb_atom_t, QString> m_names;
};

std::unique_ptr<XcbClipboardReader::Session>
XcbClipboardReader::Session::open(const QByteArray &selection) {
    auto x = XcbConnection::open();
    if (!x)
        return nullptr;
    return std::unique_ptr<Session>(new Session(std::move(x), selection));
}

XcbClipboardReader::Session::Session(std::shared_ptr<XcbConnection> x, const QByteArray &selection)
    : m_x(std::move(x))
    , m_connection(m_x->connection()) {
    // An unmapped window of our own receives the converted data.
    m_window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, m_x->root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    m_selectionAtom = intern(selection.constData());
    m_targets = intern("TARGETS");
    m_incr = intern("INCR");
    m_property = intern("_TOVALIT_CLIPBOARD_SNAPSHOT");
}

XcbClipboardReader::Session::~Session() {
    if (m_window != XCB_NONE) {
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
}

xcb_atom_t XcbClipboardReader::Session::intern(const char *name) {
    auto reply = xcbReply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : XCB_NONE;
}

QString XcbClipboardReader::Session::atomName(xcb_atom_t atom) {
    const auto known = m_names.constFind(atom);
    if (known != m_names.cend())
        return *known;
    auto reply = xcbReply(
        xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
    QString name;
    if (reply)
        name = QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                   xcb_get_atom_name_name_length(reply.get()));
    m_names.insert(atom, name);
    return name;
}

void XcbClipboardReader::Session::discardEvents() {
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
        std::free(event);
}

XcbReply<xcb_generic_event_t> XcbClipboardReader::Session::waitForEvent(
    Clock::time_point deadline, const std::function<bool(const xcb_generic_event_t *)> &accept) {
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            auto owned = xcbReply(event);
            if (accept(event))
                return owned;
        }
        if (xcb_connection_has_error(m_connection))
            return xcbReply<xcb_generic_event_t>(nullptr);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return xcbReply<xcb_generic_event_t>(nullptr);
        pollfd descriptor{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&descriptor, 1, int(left.count()) + 1);
    }
}

Transfer XcbClipboardReader::Session::convert(xcb_atom_t target, Clock::time_point deadline,
                                              qint64 budget,
                                              std::chrono::milliseconds answerTimeout) {
    discardEvents();
    xcb_delete_property(m_connection, m_window, m_property);
    xcb_convert_selection(m_connection, m_window, m_selectionAtom, target, m_property,
                          XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    const auto answered = std::min(deadline, Clock::now() + answerTimeout);
    auto event = waitForEvent(answered, [this](const xcb_generic_event_t *e) {
        return (e->response_type & 0x7f) == XCB_SELECTION_NOTIFY &&
               reinterpret_cast<const xcb_selection_notify_event_t *>(e)->requestor == m_window;
    });
    if (!event)
        return {std::nullopt, QStringLiteral("no answer from the owner"), true};
    const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event.get());
    if (notify->property == XCB_NONE)
        return {std::nullopt, QStringLiteral("refused by the owner"), false};

    // The size first, so an oversized form is never transferred.
    auto head = xcbReply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
        nullptr));
    if (!head)
        return {std::nullopt, QStringLiteral("unreadable"), false};
    if (head->type == m_incr)
        return readIncrementally(deadline, budget, answerTimeout);
    if (qint64(head->bytes_after) > budget) {
        xcb_delete_property(m_connection, m_window, m_property);
        return {std::nullopt,
                QStringLiteral("larger than the snapshot keeps (%1 bytes)").arg(head->bytes_after),
                false};
    }
    auto whole = xcbReply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                         (head->bytes_after + 3) / 4),
        nullptr));
    if (!whole)
        return {std::nullopt, QStringLiteral("unreadable"), false};
    return {QByteArray(static_cast<const char *>(xcb_get_property_value(whole.get())),
                       xcb_get_property_value_length(whole.get())),
            {},
            false};
}

Transfer XcbClipboardReader::Session::readIncrementally(Clock::time_point deadline, qint64 budget,
                                                        std::chrono::milliseconds answerTimeout) {
    // The owner announced the size it expects to send.
    auto announcement = xcbReply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, m_window, m_property, m_incr, 0, 1),
        nullptr));
    if (announcement && xcb_get_property_value_length(announcement.get()) >= 4) {
        quint32 announced = 0;
        std::memcpy(&announced, xcb_get_property_value(announcement.get()), 4);
        if (qint64(announced) > budget) {
            // Leaving the property in place tells the owner nothing more
            // is wanted; it gives up on its own.
            return {std::nullopt,
                    QStringLiteral("larger than the snapshot keeps (%1 bytes)").arg(announced),
                    false};
        }
    }
    // Deleting the announcement asks for the first piece.
    discardEvents();
    xcb_delete_property(m_connection, m_window, m_property);
    xcb_flush(m_connection);
    QByteArray data;
    for (;;) {
        const auto answered = std::min(deadline, Clock::now() + answerTimeout);
        auto event = waitForEvent(answered, [this](const xcb_generic_event_t *e) {
            if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(e);
            return notify->window == m_window && notify->atom == m_property &&
                   notify->state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!event)
            return {std::nullopt, QStringLiteral("the owner stopped sending"), true};
        auto piece = xcbReply(xcb_get_property_reply(
            m_connection,
            xcb_get_property(m_connection, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                             quint32(std::min<qint64>(budget - data.size(), 1 << 28) / 4 + 1)),
            nullptr));
        xcb_flush(m_connection);
        if (!piece)
            return {std::nullopt, QStringLiteral("unreadable"), false};
        const int length = xcb_get_property_value_length(piece.get());
        if (length == 0)
            return {data, {}, false};
        data.append(static_cast<const char *>(xcb_get_property_value(piece.get())), length);
        if (data.size() > budget || piece->bytes_after > 0)
            return {std::nullopt,
                    QStringLiteral("larger than the snapshot keeps (over %1 bytes)").arg(budget),
                    false};
    }
}

QList<PasteboardRepresentation>
XcbClipboardReader::Session::read(const ClipboardReadLimits &limits) {
    const auto deadline = Clock::now() + limits.totalTime;
    auto owner = xcbReply(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, m_selectionAtom), nullptr));
    if (!owner || owner->owner == XCB_NONE)
        return {};

    QList<PasteboardRepresentation> result;
    const Transfer targets = convert(m_targets, deadline, limits.sizeLimit, limits.answerTimeout);
    if (!targets.data) {
        result.append({QStringLiteral("TARGETS"), std::nullopt, targets.failure});
        return result;
    }
    QList<xcb_atom_t> offered(targets.data->size() / qsizetype(sizeof(xcb_atom_t)));
    std::memcpy(offered.data(), targets.data->constData(),
                size_t(offered.size()) * sizeof(xcb_atom_t));
    QHash<QString, xcb_atom_t> atoms;
    QStringList names;
    for (xcb_atom_t atom : std::as_const(offered)) {
        const QString name = atomName(atom);
        if (!atoms.contains(name)) {
            atoms.insert(name, atom);
            names.append(name);
        }
    }

    result.append(readClipboardForms(
        chooseClipboardForms(names), limits.sizeLimit,
        [deadline] { return Clock::now() >= deadline; },
        [&](qsizetype, const ClipboardFormChoice &choice, qint64 budget) {
            return convert(atoms.value(choice.name), deadline, budget, limits.answerTimeout);
        }));
    return result;
}

XcbClipboardReader::XcbClipboardReader(ClipboardReadLimits limits, QByteArray selection)
    : m_limits(limits)
    , m_selection(std::move(selection))
    , m_executor(std::make_unique<SerialExecutor>(QStringLiteral("Tovalit clipboard reader"))) {}

XcbClipboardReader::~XcbClipboardReader() = default;

QCoro::Task<QList<PasteboardRepresentation>> XcbClipboardReader::read() {
    // The session is made, used and kept on the executor's thread only.
    return m_executor->run([this] {
        if (!m_session)
            m_session = Session::open(m_selection);
        return m_session ? m_session->read(m_limits) : QList<PasteboardRepresentation>{};
    });
}

} // namespace tovalit
