#include "platform/linux/wayland_data_control_selection.h"

#include "platform/linux/wayland_data_control_protocol.h"
#include "platform/linux/worker_command_queue.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <wayland-client-protocol.h>

namespace tovalit {

namespace protocol = wlr_data_control;

namespace {

constexpr auto answerLimit = std::chrono::seconds(1);
// A paste that does not read what it asked for is given up on.
constexpr int writeLimitMilliseconds = 2000;

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

// Writes all of `bytes` to the pipe a paste reads from, unless the reader
// stalls or goes away; closes it either way.
void writeAndClose(int fd, const QByteArray &bytes) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    qsizetype written = 0;
    const QDeadlineTimer limit(writeLimitMilliseconds);
    while (written < bytes.size() && !limit.hasExpired()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd out{fd, POLLOUT, 0};
        ::poll(&out, 1, int(qMax<qint64>(limit.remainingTime(), 0)));
    }
    ::close(fd);
}

} // namespace

struct WaylandDataControlSelection::Connection {
    wl_display *display = nullptr;
    wl_registry *registry = nullptr;
    wl_proxy *seat = nullptr;
    wl_proxy *manager = nullptr;
    // Worker thread only, once it runs.
    wl_proxy *device = nullptr;
    wl_proxy *source = nullptr;
    // The offer announced last, until the selection event that names it.
    wl_proxy *announcedOffer = nullptr;
    QList<Form> served;

    WorkerCommandQueue commands;
    std::thread worker;

    ~Connection();
    // Runs `work` on the worker thread and answers what it did; false when
    // the worker is gone or takes longer than the limit. The worker serves
    // each paste for up to two seconds, so a call may wait behind others:
    // given up on, it is never run, or, already running, taken back by
    // `undo` once it is done.
    bool call(std::function<bool()> work, std::function<void()> undo = {});
    void run();
    // Worker thread only: empties the clipboard if it holds our offer.
    void withdrawOffer();

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                       uint32_t version);
    static void globalRemove(void *, wl_registry *, uint32_t) {}
    static void dataOffer(void *data, wl_proxy *device, wl_proxy *offer);
    static void selection(void *data, wl_proxy *device, wl_proxy *offer);
    static void finished(void *data, wl_proxy *device);
    static void send(void *data, wl_proxy *source, const char *mimeType, int32_t fd);
    static void cancelled(void *data, wl_proxy *source);

    static constexpr wl_registry_listener registryListener{&global, &globalRemove};
    static constexpr protocol::DeviceListener deviceListener{&dataOffer, &selection, &finished,
                                                             &selection};
    static constexpr protocol::SourceListener sourceListener{&send, &cancelled};
};

WaylandDataControlSelection::Connection::~Connection() {
    if (worker.joinable()) {
        commands.stop();
        worker.join();
    }
    if (source)
        protocol::destroySource(source);
    if (announcedOffer)
        protocol::destroyOffer(announcedOffer);
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

// Nothing here reads the clipboard, but an offer is kept until the
// selection event that follows it has been dispatched: that event, read
// in the same batch, holds a reference to the offer, and libwayland
// (1.21) loses it, and with it the offer's memory, when the offer is
// destroyed before that event is dispatched.
void WaylandDataControlSelection::Connection::dataOffer(void *data, wl_proxy *, wl_proxy *offer) {
    auto *self = static_cast<Connection *>(data);
    if (self->announcedOffer)
        protocol::destroyOffer(self->announcedOffer);
    self->announcedOffer = offer;
}

void WaylandDataControlSelection::Connection::selection(void *data, wl_proxy *, wl_proxy *offer) {
    auto *self = static_cast<Connection *>(data);
    if (offer && offer != self->announcedOffer)
        protocol::destroyOffer(offer);
    if (self->announcedOffer)
        protocol::destroyOffer(self->announcedOffer);
    self->announcedOffer = nullptr;
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
            writeAndClose(fd, form.second);
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

void WaylandDataControlSelection::Connection::withdrawOffer() {
    if (!source || !device)
        return;
    protocol::setSelection(device, nullptr);
    protocol::destroySource(source);
    source = nullptr;
    served.clear();
}

void WaylandDataControlSelection::Connection::run() {
    // A paste that closes its end early must not end the application.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    pollfd watched[2] = {{wl_display_get_fd(display), POLLIN, 0},
                         {commands.wakeDescriptor(), POLLIN, 0}};
    for (;;) {
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                return;
        }
        wl_display_flush(display);
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
            wl_display_cancel_read(display);
            return;
        }
        if (watched[0].revents & POLLIN) {
            if (wl_display_read_events(display) < 0)
                return;
        } else {
            wl_display_cancel_read(display);
        }
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

std::unique_ptr<WaylandDataControlSelection> WaylandDataControlSelection::connect() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    auto connection = std::make_unique<Connection>();
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
        new WaylandDataControlSelection(std::move(connection)));
}

WaylandDataControlSelection::WaylandDataControlSelection(std::unique_ptr<Connection> connection)
    : m_connection(std::move(connection)) {}

WaylandDataControlSelection::~WaylandDataControlSelection() = default;

bool WaylandDataControlSelection::offer(const QList<Form> &forms) {
    Connection *c = m_connection.get();
    return c->call(
        [c, forms = withTextAliases(forms)] {
            if (!c->device)
                return false;
            if (c->source)
                protocol::destroySource(c->source);
            c->source = protocol::createDataSource(c->manager);
            c->served = forms;
            wl_proxy_add_listener(
                c->source,
                reinterpret_cast<void (**)(void)>(
                    const_cast<protocol::SourceListener *>(&Connection::sourceListener)),
                c);
            for (const Form &form : forms)
                protocol::offer(c->source, form.first.toUtf8().constData());
            protocol::setSelection(c->device, c->source);
            // A compositor that refuses cancels the source at once.
            return wl_display_roundtrip(c->display) >= 0 && c->source != nullptr;
        },
        // Reported as failed, the copy must not reach the clipboard after all.
        [c] { c->withdrawOffer(); });
}

void WaylandDataControlSelection::withdraw() {
    // Nobody is told whether it happened, so nothing waits for it: it runs
    // in its turn, after the offers before it, however late.
    Connection *c = m_connection.get();
    c->commands.post([c] {
        c->withdrawOffer();
        return true;
    });
}

} // namespace tovalit
