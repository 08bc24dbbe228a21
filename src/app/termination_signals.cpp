#include "app/termination_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tovalit {

namespace {

// Written by the handler, read on the GUI thread: a signal handler may do
// nothing but write to a descriptor.
int signalPipe[2] = {-1, -1};
// What a signal does; GUI thread only.
std::function<void()> quitOnSignal;

void handleSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

void quitOnTerminationSignals(std::function<void()> quit) {
    quitOnSignal = std::move(quit);
    if (signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return;
    }
    auto *notifier =
        new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(signalPipe[1], bytes, sizeof bytes) > 0) {
        }
        if (quitOnSignal) {
            quitOnSignal();
            return;
        }
        // A signal is not a request that an open editor sheet may turn down
        // by refusing its close, as it would with quit().
        QCoreApplication::exit(0);
    });

    struct sigaction action = {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace tovalit
