#pragma once

#include "tests/support/web_page.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tovalit::testing {

// Firefox showing a local page (by default one whose text area has the
// focus), with a profile of its own in a temporary folder, started in a
// process of its own with its accessibility tree on the bus, and stopped
// when the object goes. Native on Wayland, or an X11 window through
// XWayland.
class FirefoxPage {
public:
    enum class Backend { wayland, x11 };

    // Starts Firefox; the caller waits for the text area (its process is
    // processIdentifier()). A failure gives nothing, and says why in
    // `failure`.
    static std::unique_ptr<FirefoxPage> start(Backend backend, QString *failure = nullptr,
                                              WebPage page = WebPage::textArea,
                                              int paragraphs = 0);
    // Starts Firefox on a page file of the caller's, which stays in place
    // (with whatever it loads from beside it) while the browser runs.
    static std::unique_ptr<FirefoxPage> open(Backend backend, const QString &pagePath,
                                             QString *failure = nullptr);
    ~FirefoxPage();
    FirefoxPage(const FirefoxPage &) = delete;
    FirefoxPage &operator=(const FirefoxPage &) = delete;

    qint32 processIdentifier() const;
    // What Firefox said, for a failure message.
    QString output();

    // The browser's executable, by the name Debian installs it under.
    static QString program() { return QStringLiteral("firefox-esr"); }

private:
    FirefoxPage() = default;
    bool launch(Backend backend, const QString &pagePath, QString *failure);
    QTemporaryDir m_folder;
    QProcess m_process;
};

} // namespace tovalit::testing
