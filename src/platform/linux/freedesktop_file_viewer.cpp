#include "platform/linux/freedesktop_file_viewer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace tovalit {

FreedesktopFileViewer::FreedesktopFileViewer()
    : FreedesktopFileViewer([](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    }) {}

FreedesktopFileViewer::FreedesktopFileViewer(Launcher launcher)
    : m_launcher(std::move(launcher)) {}

void FreedesktopFileViewer::revealFiles(const QStringList &paths) {
    if (paths.isEmpty())
        return;
    QStringList uris;
    for (const QString &path : paths)
        uris << QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    const QString folder = QFileInfo(paths.first()).absolutePath();

    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    request << uris << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_launcher(QStringLiteral("xdg-open"), {folder});
        return;
    }
    // The answer decides between the two ways, so nothing waits for it.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(request));
    Launcher launcher = m_launcher;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [launcher, folder](QDBusPendingCallWatcher *call) {
                         if (QDBusPendingReply<> reply = *call; reply.isError())
                             launcher(QStringLiteral("xdg-open"), {folder});
                         call->deleteLater();
                     });
}

} // namespace tovalit
