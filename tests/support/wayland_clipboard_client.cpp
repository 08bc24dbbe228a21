#include "tests/support/wayland_clipboard_client.h"

#include "tests/support/run_task.h"

#include <QElapsedTimer>

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tovalit::testing {

namespace {

// wl-paste's answer, or nothing when it could not get one within `limit`
// (an owner may never answer).
std::optional<QString> pasteWithin(std::chrono::milliseconds limit) {
    QProcess reader;
    reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // wl-paste hands the transfer to a helper (cat) of its own; in a group
    // of their own, the helper goes with it.
    reader.setChildProcessModifier([] { ::setpgid(0, 0); });
    // Without a text form it answers "No suitable type of content".
    reader.start(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline"),
                                              QStringLiteral("--type"), QStringLiteral("text")});
    if (!reader.waitForStarted(5000))
        return std::nullopt;
    // This process may be the owner that has to answer, itself or
    // through the X server.
    QElapsedTimer elapsed;
    elapsed.start();
    while (reader.state() != QProcess::NotRunning && elapsed.elapsed() < limit.count())
        pumpEvents(5);
    if (reader.state() != QProcess::NotRunning) {
        // Left waiting for an owner that never answers, the helper would
        // outlive the test, holding the output the test harness waits to
        // see closed.
        ::kill(-pid_t(reader.processId()), SIGKILL);
        reader.waitForFinished(3000);
        return std::nullopt;
    }
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(reader.readAllStandardOutput());
}

} // namespace

std::unique_ptr<WaylandClipboardClient> WaylandClipboardClient::copy(const QString &text) {
    std::unique_ptr<WaylandClipboardClient> client(new WaylandClipboardClient);
    client->m_process.setStandardOutputFile(QProcess::nullDevice());
    client->m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // In the foreground it stays our child, where we can stop it.
    client->m_process.start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), text});
    if (!client->m_process.waitForStarted(5000)) {
        ADD_FAILURE() << "could not start wl-copy";
        return nullptr;
    }
    // What it replaces may be held by an owner that never answers.
    if (!waitUntil([&] { return pasteWithin(std::chrono::seconds(1)) == text; },
                   "wl-copy to own the session's clipboard"))
        return nullptr;
    return client;
}

std::optional<QString> WaylandClipboardClient::paste(std::chrono::milliseconds limit) {
    return pasteWithin(limit);
}

StalledWaylandPaste::StalledWaylandPaste() {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe for wl-paste";
        return;
    }
    m_unread = ends[0];
    const int out = ends[1];
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setChildProcessModifier([out] {
        ::setpgid(0, 0);
        ::dup2(out, STDOUT_FILENO);
    });
    m_process.start(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline"),
                                                 QStringLiteral("--type"), QStringLiteral("text")});
    ::close(out);
    if (!m_process.waitForStarted(5000))
        ADD_FAILURE() << "could not start wl-paste";
}

StalledWaylandPaste::~StalledWaylandPaste() {
    if (const auto group = pid_t(m_process.processId()); group > 0)
        ::kill(-group, SIGKILL);
    m_process.waitForFinished(3000);
    if (m_unread >= 0)
        ::close(m_unread);
}

bool StalledWaylandPaste::receiving() const {
    int pending = 0;
    return m_unread >= 0 && ::ioctl(m_unread, FIONREAD, &pending) == 0 && pending > 0;
}

} // namespace tovalit::testing
