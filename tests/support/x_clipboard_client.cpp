#include "tests/support/x_clipboard_client.h"

#include "tests/support/run_task.h"

#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

namespace tovalit::testing {

std::unique_ptr<XClipboardClient> XClipboardClient::copy(const QString &text) {
    std::unique_ptr<XClipboardClient> client(new XClipboardClient);
    // In the foreground it chats about every request it serves.
    client->m_process.setStandardOutputFile(QProcess::nullDevice());
    client->m_process.setStandardErrorFile(QProcess::nullDevice());
    // -quiet keeps it in the foreground, where we can stop it.
    client->m_process.start(QStringLiteral("xclip"),
                            {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                             QStringLiteral("clipboard"), QStringLiteral("-i")});
    if (!client->m_process.waitForStarted(5000)) {
        ADD_FAILURE() << "could not start xclip";
        return nullptr;
    }
    client->m_process.write(text.toUtf8());
    client->m_process.closeWriteChannel();
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!waitUntil([&] { return !clipboard->ownsClipboard() && clipboard->text() == text; },
                   "xclip to own the clipboard")) {
        return nullptr;
    }
    return client;
}

std::optional<QString> XClipboardClient::paste() {
    QProcess reader;
    reader.start(QStringLiteral("xclip"),
                 {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                  QStringLiteral("-t"), QStringLiteral("UTF8_STRING")});
    if (!reader.waitForStarted(5000)) {
        ADD_FAILURE() << "could not start xclip";
        return std::nullopt;
    }
    // This process may be the owner that has to answer.
    if (!waitUntil([&] { return reader.state() == QProcess::NotRunning; }, "xclip -o to finish"))
        return std::nullopt;
    if (reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(reader.readAllStandardOutput());
}

} // namespace tovalit::testing
