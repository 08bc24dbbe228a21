#pragma once

#include "tests/support/web_page.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tovalit::testing {

// Chromium as an X11 window showing a local page, with a profile of its
// own in a temporary folder and its accessibility tree on the bus (as with
// a screen reader on), stopped when the object goes.
class ChromiumPage {
public:
    // Starts Chromium; the caller waits for the page (its process is
    // processIdentifier()). A failure gives nothing, and says why in
    // `failure`.
    static std::unique_ptr<ChromiumPage> start(WebPage page, QString *failure = nullptr,
                                               int paragraphs = 0);
    // Starts Chromium on a page file of the caller's, which stays in place
    // (with whatever it loads from beside it) while the browser runs.
    static std::unique_ptr<ChromiumPage> open(const QString &pagePath, QString *failure = nullptr);
    ~ChromiumPage();
    ChromiumPage(const ChromiumPage &) = delete;
    ChromiumPage &operator=(const ChromiumPage &) = delete;

    qint32 processIdentifier() const;
    // Opens `page` in a new window of the running browser, which comes to
    // the front, as a user opening a second window does; whether the
    // browser took the request.
    bool openWindow(WebPage page);
    // What Chromium said, for a failure message.
    QString output();

    // The browser's executable, by the name Debian installs it under.
    static QString program() { return QStringLiteral("chromium"); }

private:
    ChromiumPage() = default;
    bool launch(const QString &pagePath, QString *failure);
    QStringList arguments(const QString &pagePath) const;
    QTemporaryDir m_folder;
    QProcess m_process;
};

} // namespace tovalit::testing
