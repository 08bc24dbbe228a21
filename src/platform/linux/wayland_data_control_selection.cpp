#include "platform/linux/wayland_data_control_selection.h"

#include "platform/linux/wayland_data_control_protocol.h"
#include "platform/linux/worker_command_queue.h"
#include "support/serial_executor.h"

#include <QDeadlineTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>
#include <wayland-client-protocol.h>

namespace tovalit {

namespace protocol = wlr_data_control;

namespace {

constexpr auto answerLimit = std::chrono::seconds(1);
// A paste whose reader takes nothing for this long is given up on.
constexpr int idleLimitMilliseconds = 2000;

const QString plainText = QStringLiteral("text/plain");

// Text also under the names that Wayland toolkits (GTK, Qt) and X11
// clients bridged by the compositor ask for; the text is UTF-8 already.
QList<WaylandDataControlSelection::Form>
withTextAliases(const QList<WaylandDataControlSelection::Form> &forms) {
    QList<WaylandDataControlSelection::Form> result;
    for (const auto &form : forms) {
        if (form.first == plainText) {
            result.append({QStringLiteral("text/plain;charset=utf-8"), form.second});
            result.append(form);
            result.append({QStringLiteral("UTF8_STRING"), form.second});
        } else {
            result.append(form);
        }
    }
    return result;
}

// A paste of ours under way: what is left to write into the pipe its
// reader empties. Pastes are written as their readers take the bytes, so
// that one that stalls holds up neither the others nor our offers.
struct OutgoingPaste {
    int fd = -1;
    QByteArray bytes;
    qsizetype written = 0;
    // Renewed whenever the reader takes something.
    QDeadlineTimer idle;

    // Writes what the pipe takes now; true once the paste is over: all
    // written, the reader gone, or silent for too long.
    bool writeSome() {
        while (written < bytes.size()) {
            const ssize_t n =
                ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
            if (n > 0) {
                written += n;
                idle.setRemainingTime(idleLimitMilliseconds);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return idle.hasExpired();
            return true;
        }
        return true;
    }
};

// Waits until the compositor has handled what was sent before, dispatching
// what comes meanwhile; false when it failed or did not answer within
// `limit`. Unbounded, a compositor that hangs would hold the worker, and
// with it the end of the application, for good.
bool roundtripWithin(wl_display *display, std::chrono::milliseconds limit) {
    bool done = false;
    static constexpr wl_callback_listener listener{
        [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; }};
    wl_callback *callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &listener, &done);
    const QDeadlineTimer deadline(limit);
    bool failed = false;
    while (!done && !failed) {
        if (wl_display_prepare_read(display) != 0) {
            failed = wl_display_dispatch_pending(display) < 0;
            continue;
        }
        wl_display_flush(display);
        pollfd in{wl_display_get_fd(display), POLLIN, 0};
        const int ready = ::poll(&in, 1, int(deadline.remainingTime()));
        if (ready > 0 && (in.revents & POLLIN)) {
            failed =
                wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0;
        } else {
            wl_display_cancel_read(display);
            failed =
                (ready < 0 && errno != EINTR) || ready == 0 || (in.revents & (POLLERR | POLLHUP));
        }
    }
    wl_callback_destroy(callback);
    return done;
}

// One form read from the pipe its owner writes into.
using Transfer = ClipboardTransfer;

// Reads the pipe to its end, waiting at most `answerTimeout` for each
// piece and never past `deadline`; closes it either way.
Transfer drain(int fd, const QDeadlineTimer &deadline, qint64 budget,
               std::chrono::milliseconds answerTimeout) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    QByteArray data;
    char buffer[65536];
    Transfer result;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, n);
            if (data.size() > budget) {
                result.failure =
                    QStringLiteral("larger than the snapshot keeps (over %1 bytes)").arg(budget);
                break;
            }
            continue;
        }
        if (n == 0) {
            // A form the owner had nothing for is not worth keeping.
            if (data.isEmpty())
                result.failure = QStringLiteral("empty");
            else
                result.data = std::move(data);
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            result.failure = QStringLiteral("unreadable");
            break;
        }
        const qint64 left = deadline.remainingTime();
        pollfd in{fd, POLLIN, 0};
        if (left == 0 || ::poll(&in, 1, int(qMin<qint64>(left, answerTimeout.count()))) == 0) {
            result.failure = data.isEmpty() ? QStringLiteral("no answer from the owner")
                                            : QStringLiteral("the owner stopped sending");
            result.ownerGone = true;
            break;
        }
    }
    ::close(fd);
    return result;
}

// The pipes a read waits on, one per form chosen, -1 for a form left out.
struct Receipt {
    bool empty = true;
    // Which of the clipboard's contents it is.
    quint64 selection = 0;
    QList<ClipboardFormChoice> choices;
    QList<int> pipes;

    void closePipes() {
        for (int &fd : pipes) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
};

} // namespace

struct WaylandDataControlSelection::Connection {
    wl_display *display = nullptr;
    wl_registry *registry = nullptr;
    wl_proxy *seat = nullptr;
    wl_proxy *manager = nullptr;
    // Worker thread only, once it runs.
    wl_proxy *device = nullptr;
    wl_proxy *source = nullptr;
    // The offer announced last, with its forms, until the selection event
    // that names it.
    wl_proxy *announcedOffer = nullptr;
    QStringList announcedTypes;
    // The session's clipboard and its forms; null while it is empty.
    wl_proxy *selectionOffer = nullptr;
    QStringList selectionTypes;
    // Moves with every new content of the clipboard; read on any thread.
    std::atomic<quint64> selectionSerial{0};
    QList<Form> served;
    // Worker thread only.
    std::vector<OutgoingPaste> pastes;
    QString ownType;
    // Read on any thread.
    std::atomic<qint64> foreignSelections{0};
    std::atomic<qint64> contentReads{0};

    WorkerCommandQueue commands;
    std::thread worker;

    ~Connection();
    // Runs `work` on the worker thread and answers what it did; false when
    // the worker is gone or takes longer than the limit (the compositor
    // did not answer): given up on, it is never run, or, already running,
    // taken back by `undo` once it is done.
    bool call(std::function<bool()> work, std::function<void()> undo = {});
    void run();
    // Worker thread only: goes on with the pastes whose pipes `ready`
    // says take more, and ends those that are over.
    void servePastes(const pollfd *ready);
    // Worker thread only: makes `forms` the clipboard, without waiting.
    void setOffer(const QList<Form> &forms);
    // Worker thread only: an offer reported as failed must not reach the
    // clipboard later; what was there goes back where it was ours, and the
    // clipboard is emptied where it was not (it is lost either way).
    void putBack(const QList<Form> &previous);
    // Worker thread only: empties the clipboard if it holds our offer.
    void withdrawOffer();
    // Worker thread only: empties the clipboard if it still holds what it
    // held at `seen` and that is a write of ours.
    void withdrawWrite(quint64 seen);

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                       uint32_t version);
    static void globalRemove(void *, wl_registry *, uint32_t) {}
    static void dataOffer(void *data, wl_proxy *device, wl_proxy *offer);
    static void selection(void *data, wl_proxy *device, wl_proxy *offer);
    static void primarySelection(void *data, wl_proxy *device, wl_proxy *offer);
    static void finished(void *data, wl_proxy *device);
    static void offered(void *data, wl_proxy *offer, const char *mimeType);
    static void send(void *data, wl_proxy *source, const char *mimeType, int32_t fd);
    static void cancelled(void *data, wl_proxy *source);

    static constexpr wl_registry_listener registryListener{&global, &globalRemove};
    static constexpr protocol::DeviceListener deviceListener{&dataOffer, &selection, &finished,
                                                             &primarySelection};
    static constexpr protocol::SourceListener sourceListener{&send, &cancelled};
    static constexpr protocol::OfferListener offerListener{&offered};
};

WaylandDataControlSelection::Connection::~Connection() {
    if (worker.joinable()) {
        commands.stop();
        worker.join();
    }
    for (const OutgoingPaste &paste : pastes)
        ::close(paste.fd);
    if (source)
        protocol::destroySource(source);
    if (announcedOffer)
        protocol::destroyOffer(announcedOffer);
    if (selectionOffer)
        protocol::destroyOffer(selectionOffer);
    if (device)
        protocol::destroyDevice(device);
    if (manager)
        protocol::destroyManager(manager);
    if (seat)
        wl_proxy_destroy(seat);
    if (registry)
        wl_registry_destroy(registry);
    if (display) {
        wl_display_flush(display);
        wl_display_disconnect(display);
    }
}

void WaylandDataControlSelection::Connection::global(void *data, wl_registry *registry,
                                                     uint32_t name, const char *interface,
                                                     uint32_t) {
    auto *self = static_cast<Connection *>(data);
    // Version 1 of each is all we use; the first seat is the user's.
    if (!self->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        self->seat =
            static_cast<wl_proxy *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!self->manager && std::strcmp(interface, protocol::managerInterface.name) == 0)
        self->manager = static_cast<wl_proxy *>(
            wl_registry_bind(registry, name, &protocol::managerInterface, 1));
}

// An offer is kept until the selection event that follows it has been
// dispatched, and while it is the selection: that event, read in the same
// batch, holds a reference to the offer, and libwayland (1.21) loses it,
// and with it the offer's memory, when the offer is destroyed before that
// event is dispatched.
void WaylandDataControlSelection::Connection::dataOffer(void *data, wl_proxy *, wl_proxy *offer) {
    auto *self = static_cast<Connection *>(data);
    if (self->announcedOffer)
        protocol::destroyOffer(self->announcedOffer);
    self->announcedOffer = offer;
    self->announcedTypes.clear();
    wl_proxy_add_listener(offer,
                          reinterpret_cast<void (**)(void)>(
                              const_cast<protocol::OfferListener *>(&Connection::offerListener)),
                          self);
}

void WaylandDataControlSelection::Connection::offered(void *data, wl_proxy *offer,
                                                      const char *mimeType) {
    auto *self = static_cast<Connection *>(data);
    if (offer == self->announcedOffer)
        self->announcedTypes.append(QString::fromUtf8(mimeType));
}

void WaylandDataControlSelection::Connection::selection(void *data, wl_proxy *, wl_proxy *offer) {
    auto *self = static_cast<Connection *>(data);
    QStringList types;
    if (offer && offer == self->announcedOffer)
        types = std::move(self->announcedTypes);
    else if (self->announcedOffer)
        protocol::destroyOffer(self->announcedOffer);
    self->announcedOffer = nullptr;
    self->announcedTypes.clear();
    if (self->selectionOffer && self->selectionOffer != offer)
        protocol::destroyOffer(self->selectionOffer);
    self->selectionOffer = offer;
    ++self->selectionSerial;
    // Our own copy, and our X clipboard taken into the session by the
    // compositor, carry our mark; an emptied clipboard holds nothing a
    // restore could overwrite.
    if (offer && !types.contains(self->ownType))
        ++self->foreignSelections;
    self->selectionTypes = std::move(types);
}

// The primary selection (middle-click paste) is not the clipboard.
void WaylandDataControlSelection::Connection::primarySelection(void *data, wl_proxy *,
                                                               wl_proxy *offer) {
    auto *self = static_cast<Connection *>(data);
    if (self->announcedOffer) {
        if (offer == self->announcedOffer)
            offer = nullptr;
        protocol::destroyOffer(self->announcedOffer);
        self->announcedOffer = nullptr;
        self->announcedTypes.clear();
    }
    if (offer && offer != self->selectionOffer)
        protocol::destroyOffer(offer);
}

void WaylandDataControlSelection::Connection::finished(void *data, wl_proxy *device) {
    auto *self = static_cast<Connection *>(data);
    protocol::destroyDevice(device);
    self->device = nullptr;
}

void WaylandDataControlSelection::Connection::send(void *data, wl_proxy *, const char *mimeType,
                                                   int32_t fd) {
    auto *self = static_cast<Connection *>(data);
    const QString wanted = QString::fromUtf8(mimeType);
    for (const Form &form : std::as_const(self->served)) {
        if (form.first == wanted) {
            // Written from the worker's loop as the reader takes it; the
            // bytes are shared, so a new offer leaves this paste alone.
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            if (wanted != self->ownType)
                ++self->contentReads;
            self->pastes.push_back({fd, form.second, 0, QDeadlineTimer(idleLimitMilliseconds)});
            return;
        }
    }
    ::close(fd);
}

void WaylandDataControlSelection::Connection::cancelled(void *data, wl_proxy *source) {
    // Another application's copy replaced ours.
    auto *self = static_cast<Connection *>(data);
    protocol::destroySource(source);
    if (self->source == source) {
        self->source = nullptr;
        self->served.clear();
    }
}

bool WaylandDataControlSelection::Connection::call(std::function<bool()> work,
                                                   std::function<void()> undo) {
    return commands.post(std::move(work), std::move(undo)).answerWithin(answerLimit);
}

void WaylandDataControlSelection::Connection::setOffer(const QList<Form> &forms) {
    if (source)
        protocol::destroySource(source);
    source = protocol::createDataSource(manager);
    served = forms;
    wl_proxy_add_listener(source,
                          reinterpret_cast<void (**)(void)>(
                              const_cast<protocol::SourceListener *>(&Connection::sourceListener)),
                          this);
    for (const Form &form : forms)
        protocol::offer(source, form.first.toUtf8().constData());
    protocol::setSelection(device, source);
}

void WaylandDataControlSelection::Connection::putBack(const QList<Form> &previous) {
    // Gone already: somebody's copy took its place.
    if (!source || !device)
        return;
    if (previous.isEmpty())
        withdrawOffer();
    else
        setOffer(previous);
    wl_display_flush(display);
}

void WaylandDataControlSelection::Connection::withdrawOffer() {
    if (!source || !device)
        return;
    protocol::setSelection(device, nullptr);
    protocol::destroySource(source);
    source = nullptr;
    served.clear();
}

void WaylandDataControlSelection::Connection::withdrawWrite(quint64 seen) {
    // Anything newer is somebody's copy, or our X clipboard's next write
    // taken into the session.
    if (!device || selectionSerial != seen)
        return;
    if (source) {
        withdrawOffer();
    } else if (selectionOffer && selectionTypes.contains(ownType)) {
        // KDE's compositor keeps offering our X clipboard after it was
        // emptied, and never answers for it: a paste, or the next
        // snapshot, would wait for it in vain.
        protocol::setSelection(device, nullptr);
    } else {
        return;
    }
    // What is read next finds the clipboard empty.
    roundtripWithin(display, answerLimit);
}

void WaylandDataControlSelection::Connection::servePastes(const pollfd *ready) {
    for (std::size_t i = 0; i < pastes.size(); ++i) {
        OutgoingPaste &paste = pastes[i];
        const bool over = ready[i].revents ? paste.writeSome() : paste.idle.hasExpired();
        if (over) {
            ::close(paste.fd);
            paste.fd = -1;
        }
    }
    std::erase_if(pastes, [](const OutgoingPaste &paste) { return paste.fd < 0; });
}

void WaylandDataControlSelection::Connection::run() {
    // A paste that closes its end early must not end the application.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    std::vector<pollfd> watched;
    for (;;) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                return;
        }
        wl_display_flush(display);
        watched = {{wl_display_get_fd(display), POLLIN, 0}, {commands.wakeDescriptor(), POLLIN, 0}};
        qint64 timeout = -1;
        for (const OutgoingPaste &paste : pastes) {
            watched.push_back({paste.fd, POLLOUT, 0});
            const qint64 left = paste.idle.remainingTime();
            timeout = timeout < 0 ? left : qMin(timeout, left);
        }
        if (::poll(watched.data(), nfds_t(watched.size()), int(timeout)) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            return;
        }
        if (watched[0].revents & POLLIN) {
            if (wl_display_read_events(display) < 0)
                return;
        } else {
            wl_display_cancel_read(display);
        }
        // Before the events are dispatched: a paste they announce is not
        // among those polled.
        servePastes(watched.data() + 2);
        if (wl_display_dispatch_pending(display) < 0 || (watched[0].revents & (POLLERR | POLLHUP)))
            return;
        if ((watched[1].revents & POLLIN) && !commands.runDue())
            return;
        // What a failed write to a closed paste left pending goes.
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
        }
    }
}

std::unique_ptr<WaylandDataControlSelection>
WaylandDataControlSelection::connect(QString ownType, ClipboardReadLimits limits) {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    auto connection = std::make_unique<Connection>();
    connection->ownType = std::move(ownType);
    connection->display = wl_display_connect(nullptr);
    if (!connection->display)
        return nullptr;
    connection->registry = wl_display_get_registry(connection->display);
    wl_registry_add_listener(connection->registry, &Connection::registryListener, connection.get());
    if (wl_display_roundtrip(connection->display) < 0 || !connection->seat || !connection->manager)
        return nullptr;
    connection->device = protocol::getDataDevice(connection->manager, connection->seat);
    wl_proxy_add_listener(connection->device,
                          reinterpret_cast<void (**)(void)>(
                              const_cast<protocol::DeviceListener *>(&Connection::deviceListener)),
                          connection.get());
    if (wl_display_roundtrip(connection->display) < 0 || !connection->device)
        return nullptr;
    if (!connection->commands.isValid())
        return nullptr;
    connection->worker = std::thread([raw = connection.get()] { raw->run(); });
    return std::unique_ptr<WaylandDataControlSelection>(
        new WaylandDataControlSelection(std::move(connection), limits));
}

WaylandDataControlSelection::WaylandDataControlSelection(std::unique_ptr<Connection> connection,
                                                         ClipboardReadLimits limits)
    : m_connection(std::move(connection))
    , m_limits(limits)
    , m_reader(std::make_unique<SerialExecutor>(QStringLiteral("Tovalit session clipboard"))) {}

WaylandDataControlSelection::~WaylandDataControlSelection() = default;

bool WaylandDataControlSelection::offer(const QList<Form> &forms) {
    Connection *c = m_connection.get();
    // Our offer that the clipboard held before, for the case this one is
    // given up on.
    auto previous = std::make_shared<QList<Form>>();
    return c->call(
        [c, previous, forms = withTextAliases(forms)] {
            if (!c->device)
                return false;
            if (c->source)
                *previous = c->served;
            c->setOffer(forms);
            // A compositor that refuses cancels the source at once.
            if (roundtripWithin(c->display, answerLimit) && c->source)
                return true;
            c->putBack(*previous);
            return false;
        },
        [c, previous] { c->putBack(*previous); });
}

WaylandDataControlSelection::Withdrawal WaylandDataControlSelection::withdrawal() const {
    return {m_connection->selectionSerial.load()};
}

void WaylandDataControlSelection::withdraw(Withdrawal withdrawal) {
    // Nobody is told whether it happened, so nothing waits for it: it runs
    // in its turn, after the offers before it, however late.
    Connection *c = m_connection.get();
    c->commands.post([c, seen = withdrawal.seen] {
        c->withdrawWrite(seen);
        return true;
    });
}

qint64 WaylandDataControlSelection::contentReads() const {
    return m_connection->contentReads.load();
}

qint64 WaylandDataControlSelection::changeCount() const {
    return m_connection->foreignSelections.load();
}

QCoro::Task<QList<PasteboardRepresentation>> WaylandDataControlSelection::read() {
    return m_reader->run([this, c = m_connection.get(), limits = m_limits] {
        const QDeadlineTimer deadline(limits.totalTime);
        // The worker asks the owner for every form at once; the owner's
        // answers are read here, so that an owner that is slow holds up
        // neither the worker nor the pastes of our own offers it serves
        // (our own offer, read back, is written by the worker).
        auto receipt = std::make_shared<Receipt>();
        const bool asked = c->call(
            [c, receipt, silent = m_silentSelection] {
                if (!c->device)
                    return false;
                if (!c->selectionOffer)
                    return true;
                receipt->empty = false;
                receipt->selection = c->selectionSerial;
                receipt->choices = chooseClipboardForms(c->selectionTypes);
                for (ClipboardFormChoice &choice : receipt->choices) {
                    int fds[2] = {-1, -1};
                    // KDE's compositor keeps offering what an X client
                    // copied after the client is gone, and never answers
                    // for it: each dictation would wait for it anew.
                    if (choice.action != ClipboardFormChoice::Action::leaveOut &&
                        silent == receipt->selection) {
                        choice = {choice.name, ClipboardFormChoice::Action::leaveOut,
                                  QStringLiteral("no answer from the owner before")};
                    } else if (choice.action != ClipboardFormChoice::Action::leaveOut &&
                               ::pipe2(fds, O_CLOEXEC) != 0) {
                        choice = {choice.name, ClipboardFormChoice::Action::leaveOut,
                                  QStringLiteral("unreadable")};
                    }
                    if (fds[1] >= 0) {
                        protocol::receive(c->selectionOffer, choice.name.toUtf8().constData(),
                                          fds[1]);
                        ::close(fds[1]);
                    }
                    receipt->pipes.append(fds[0]);
                }
                wl_display_flush(c->display);
                return true;
            },
            [receipt] { receipt->closePipes(); });
        if (!asked)
            return QList<PasteboardRepresentation>{
                {QStringLiteral("TARGETS"), std::nullopt,
                 QStringLiteral("no answer from the compositor")}};
        if (receipt->empty)
            return QList<PasteboardRepresentation>{};

        bool ownerGone = false;
        QList<PasteboardRepresentation> result = readClipboardForms(
            receipt->choices, limits.sizeLimit, [&deadline] { return deadline.hasExpired(); },
            [&](qsizetype index, const ClipboardFormChoice &, qint64 budget) {
                Transfer transfer = drain(std::exchange(receipt->pipes[index], -1), deadline,
                                          budget, limits.answerTimeout);
                ownerGone = ownerGone || transfer.ownerGone;
                return transfer;
            });
        // Those not waited for: the owner sees its end close.
        receipt->closePipes();
        if (ownerGone)
            m_silentSelection = receipt->selection;
        return result;
    });
}

} // namespace tovalit
