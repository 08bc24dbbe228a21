#include "tests/support/chromium_page.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QUrl>

namespace tovalit::testing {

std::unique_ptr<ChromiumPage> ChromiumPage::start(WebPage page, QString *failure, int paragraphs) {
    std::unique_ptr<ChromiumPage> chromium(new ChromiumPage);
    const QString pagePath = chromium->m_folder.filePath(QStringLiteral("page.html"));
    QFile file(pagePath);
    const QByteArray html = webPageHtml(page, paragraphs);
    if (!chromium->m_folder.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(html) != html.size()) {
        if (failure)
            *failure = QStringLiteral("could not write Chromium's page");
        return nullptr;
    }
    file.close();
    return chromium->launch(pagePath, failure) ? std::move(chromium) : nullptr;
}

std::unique_ptr<ChromiumPage> ChromiumPage::open(const QString &pagePath, QString *failure) {
    std::unique_ptr<ChromiumPage> chromium(new ChromiumPage);
    if (!chromium->m_folder.isValid()) {
        if (failure)
            *failure = QStringLiteral("could not make Chromium's profile folder");
        return nullptr;
    }
    return chromium->launch(pagePath, failure) ? std::move(chromium) : nullptr;
}

bool ChromiumPage::launch(const QString &pagePath, QString *failure) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Its tree reaches the bus only when asked for, as a desktop with a
    // screen reader on asks.
    environment.insert(QStringLiteral("ACCESSIBILITY_ENABLED"), QStringLiteral("1"));
    environment.remove(QStringLiteral("NO_AT_BRIDGE"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program(), arguments(pagePath));
    if (m_process.waitForStarted(10000))
        return true;
    if (failure)
        *failure = QStringLiteral("Chromium did not start: ") + m_process.errorString();
    return false;
}

QStringList ChromiumPage::arguments(const QString &pagePath) const {
    // A first start asks nothing, stays off the network and keeps out of
    // the keyring; the sandbox cannot start as root in a container.
    return {QStringLiteral("--user-data-dir=") + m_folder.filePath(QStringLiteral("profile")),
            QStringLiteral("--force-renderer-accessibility"),
            QStringLiteral("--ozone-platform=x11"),
            QStringLiteral("--no-sandbox"),
            QStringLiteral("--test-type"),
            QStringLiteral("--no-first-run"),
            QStringLiteral("--no-default-browser-check"),
            QStringLiteral("--disable-gpu"),
            QStringLiteral("--password-store=basic"),
            QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"),
            QStringLiteral("--disable-sync"),
            QUrl::fromLocalFile(pagePath).toString()};
}

bool ChromiumPage::openWindow(WebPage page) {
    static int opened = 0;
    const QString pagePath = m_folder.filePath(QStringLiteral("window-%1.html").arg(++opened));
    QFile file(pagePath);
    const QByteArray html = webPageHtml(page);
    if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size())
        return false;
    file.close();
    // The second start hands the window to the running browser and ends.
    QProcess request;
    request.setProcessEnvironment(m_process.processEnvironment());
    request.setProcessChannelMode(QProcess::MergedChannels);
    request.start(program(), QStringList{QStringLiteral("--new-window")} + arguments(pagePath));
    return request.waitForFinished(20000) && request.exitStatus() == QProcess::NormalExit &&
           request.exitCode() == 0;
}

ChromiumPage::~ChromiumPage() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(2000);
    // Its helper processes write the profile a moment after the browser
    // has ended.
    QElapsedTimer elapsed;
    elapsed.start();
    while (!m_folder.remove() && elapsed.elapsed() < 5000)
        QThread::msleep(50);
}

qint32 ChromiumPage::processIdentifier() const {
    return qint32(m_process.processId());
}

QString ChromiumPage::output() {
    return QString::fromLocal8Bit(m_process.readAll());
}

} // namespace tovalit::testing
