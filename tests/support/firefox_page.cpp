#include "tests/support/firefox_page.h"

#include <QDir>
#include <QFile>
#include <QUrl>

namespace tovalit::testing {

namespace {

// A first start asks nothing, shows no welcome tab and stays off the
// network.
const QByteArray preferences =
    "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
    "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
    "user_pref(\"startup.homepage_welcome_url\", \"\");\n"
    "user_pref(\"startup.homepage_welcome_url.additional\", \"\");\n"
    "user_pref(\"browser.tabs.warnOnClose\", false);\n"
    "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
    "user_pref(\"datareporting.healthreport.uploadEnabled\", false);\n"
    "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
    "user_pref(\"app.update.auto\", false);\n"
    "user_pref(\"extensions.update.enabled\", false);\n"
    "user_pref(\"browser.safebrowsing.malware.enabled\", false);\n"
    "user_pref(\"browser.safebrowsing.phishing.enabled\", false);\n"
    "user_pref(\"network.captive-portal-service.enabled\", false);\n"
    "user_pref(\"network.connectivity-service.enabled\", false);\n"
    "user_pref(\"browser.newtabpage.enabled\", false);\n"
    "user_pref(\"accessibility.force_disabled\", 0);\n";

bool writeFile(const QString &path, const QByteArray &contents) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

} // namespace

std::unique_ptr<FirefoxPage> FirefoxPage::start(Backend backend, QString *failure, WebPage page,
                                                int paragraphs) {
    std::unique_ptr<FirefoxPage> firefox(new FirefoxPage);
    const QString pagePath = firefox->m_folder.filePath(QStringLiteral("page.html"));
    if (!firefox->m_folder.isValid() || !writeFile(pagePath, webPageHtml(page, paragraphs))) {
        if (failure)
            *failure = QStringLiteral("could not write Firefox's page");
        return nullptr;
    }
    return firefox->launch(backend, pagePath, failure) ? std::move(firefox) : nullptr;
}

std::unique_ptr<FirefoxPage> FirefoxPage::open(Backend backend, const QString &pagePath,
                                               QString *failure) {
    std::unique_ptr<FirefoxPage> firefox(new FirefoxPage);
    return firefox->launch(backend, pagePath, failure) ? std::move(firefox) : nullptr;
}

bool FirefoxPage::launch(Backend backend, const QString &pagePath, QString *failure) {
    const auto fail = [failure](const QString &why) {
        if (failure)
            *failure = why;
        return false;
    };
    const QString profile = m_folder.filePath(QStringLiteral("profile"));
    if (!m_folder.isValid() || !QDir().mkpath(profile) ||
        !writeFile(profile + QStringLiteral("/user.js"), preferences))
        return fail(QStringLiteral("could not write Firefox's profile"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MOZ_ENABLE_WAYLAND"),
                       backend == Backend::wayland ? QStringLiteral("1") : QStringLiteral("0"));
    environment.insert(QStringLiteral("GDK_BACKEND"), backend == Backend::wayland
                                                          ? QStringLiteral("wayland")
                                                          : QStringLiteral("x11"));
    // Its tree reaches the bus only when asked for, as a desktop with a
    // screen reader on asks.
    environment.insert(QStringLiteral("GNOME_ACCESSIBILITY"), QStringLiteral("1"));
    environment.remove(QStringLiteral("NO_AT_BRIDGE"));
    // The content sandbox cannot start as root in a container.
    environment.insert(QStringLiteral("MOZ_DISABLE_CONTENT_SANDBOX"), QStringLiteral("1"));
    environment.insert(QStringLiteral("MOZ_CRASHREPORTER_DISABLE"), QStringLiteral("1"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program(), {QStringLiteral("--new-instance"), QStringLiteral("--no-remote"),
                                QStringLiteral("--profile"), profile,
                                QUrl::fromLocalFile(pagePath).toString()});
    if (!m_process.waitForStarted(10000))
        return fail(QStringLiteral("Firefox did not start: ") + m_process.errorString());
    return true;
}

FirefoxPage::~FirefoxPage() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(2000);
}

qint32 FirefoxPage::processIdentifier() const {
    return qint32(m_process.processId());
}

QString FirefoxPage::output() {
    return QString::fromLocal8Bit(m_process.readAll());
}

} // namespace tovalit::testing
