#include "tests/support/browser_page_fixture.h"

#include "platform/linux/xtest_key_sender.h"
#include "tests/support/spoken_audio.h"
#include "tests/support/test_editor_process.h"
#include "tests/support/test_session.h"
#include "tests/support/x_clipboard_client.h"
#include "tests/support/xdotool.h"

namespace tovalit::testing {

using namespace std::chrono_literals;

void BrowserPageFixture::SetUp() {
    TOVALIT_REQUIRE_DISPLAY();
    const QString program =
        GetParam() == Browser::firefox ? FirefoxPage::program() : ChromiumPage::program();
    TOVALIT_REQUIRE_ENVIRONMENT(hasTool(program), "the browser is needed");
    ASSERT_TRUE(setDesktopAccessibilityEnabled(true));
    service =
        std::make_unique<FocusedInputInsertionService>(client, pasteboard, XTestKeySender::open());
}

void BrowserPageFixture::TearDown() {
    service.reset();
}

void BrowserPageFixture::openPage(WebPage page, const Ready &ready, const char *what) {
    QString failure;
    if (GetParam() == Browser::firefox) {
        firefox = FirefoxPage::start(FirefoxPage::Backend::x11, &failure, page);
        ASSERT_TRUE(firefox) << failure.toStdString();
        pid = firefox->processIdentifier();
    } else {
        chromium = ChromiumPage::start(page, &failure);
        ASSERT_TRUE(chromium) << failure.toStdString();
        pid = chromium->processIdentifier();
    }
    AtspiBus bus;
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto service = bus.connectIfEnabled() ? bus.serviceOfProcess(pid) : std::nullopt;
            ColdReadDeadline deadline;
            const auto focused = service ? bus.focusedElement(*service, deadline) : std::nullopt;
            return focused && ready(bus, *focused);
        },
        what, 60s));
}

void BrowserPageFixture::openWatchedPage(const QString &path, const char *what) {
    QString failure;
    if (GetParam() == Browser::firefox) {
        firefox = FirefoxPage::open(FirefoxPage::Backend::x11, path, &failure);
        ASSERT_TRUE(firefox) << failure.toStdString();
        pid = firefox->processIdentifier();
    } else {
        chromium = ChromiumPage::open(path, &failure);
        ASSERT_TRUE(chromium) << failure.toStdString();
        pid = chromium->processIdentifier();
    }
    // The page has placed its caret, and the editor holds it: its text is
    // left for the dictation to read first.
    AtspiBus bus;
    ASSERT_TRUE(waitUntil(
        [&] {
            if (pageTitle() != QStringLiteral("ready"))
                return false;
            const auto service = bus.connectIfEnabled() ? bus.serviceOfProcess(pid) : std::nullopt;
            ColdReadDeadline deadline;
            const auto focused = service ? bus.focusedElement(*service, deadline) : std::nullopt;
            const auto caret = focused ? bus.caretOffset(*focused) : std::nullopt;
            return caret && *caret >= 0 && bus.hasState(*focused, AtspiBus::stateEditable);
        },
        what, 60s))
        << "the page's title: " << pageTitle().toStdString();
}

QString BrowserPageFixture::pageTitle() const {
    const QStringList windows = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                         QStringLiteral("--pid"), QString::number(pid)})
                                    .split(u'\n', Qt::SkipEmptyParts);
    for (const QString &window : windows) {
        QString title = xdotool({QStringLiteral("getwindowname"), window});
        for (const QString &browser :
             {QStringLiteral(" — Mozilla Firefox"), QStringLiteral(" - Mozilla Firefox"),
              QStringLiteral(" - Chromium")}) {
            if (title.endsWith(browser))
                return title.chopped(browser.size());
        }
    }
    return {};
}

FocusedElementContext BrowserPageFixture::capture() {
    return runTask(thread->run([client = client, pid = pid] {
        return FocusedElementReader::captureFocusedElementContext(*client, pid);
    }));
}

ActiveInteractionContext BrowserPageFixture::context() const {
    ActiveInteractionContext context;
    context.appName = QStringLiteral("Browser");
    context.bundleID = QStringLiteral("browser");
    context.processIdentifier = pid;
    return context;
}

void BrowserPageFixture::expectCheckedPaste(const QString &spoken) {
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);
    EXPECT_EQ(runTask(service->insert(spoken, context(), {})), InsertionResult::pastedFromClipboard)
        << logLines().join(u'\n').toStdString();
    const QStringList result = logLines(QStringLiteral("insert.result"));
    EXPECT_TRUE(result ==
                    QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")} ||
                result == QStringList{QStringLiteral("result=pastedFromClipboard | path=changed")})
        << logLines().join(u'\n').toStdString();
    EXPECT_EQ(logLines(QStringLiteral("insert.direct")), QStringList());
    EXPECT_TRUE(waitUntil([] { return XClipboardClient::paste() == QStringLiteral("old"); },
                          "the user's clipboard to come back", 5s));
}

void BrowserPageFixture::expectPastedExactly(const QString &said, const QString &landed) {
    ASSERT_NO_FATAL_FAILURE(expectCheckedPaste(said));
    EXPECT_EQ(logLines(QStringLiteral("insert.result")),
              QStringList{QStringLiteral("result=pastedFromClipboard | path=verified")})
        << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(waitUntil([&] { return pageTitle() == QStringLiteral("ok=1 new=") + landed; },
                          "the page to say the text landed exactly", 5s))
        << "the page's title: " << pageTitle().toStdString();
}

QString BrowserPageFixture::benchDocument(const char *name) {
    return QStringLiteral(TOVALIT_SOURCE_DIR "/bench/web-documents/") + QLatin1String(name);
}

std::string BrowserPageFixture::browserName(const ::testing::TestParamInfo<Browser> &info) {
    return info.param == Browser::firefox ? "Firefox" : "Chromium";
}

} // namespace tovalit::testing
