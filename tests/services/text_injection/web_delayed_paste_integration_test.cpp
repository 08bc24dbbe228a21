// A busy browser gets to a paste's keys late, and pastes whatever the
// clipboard holds when it does: the chat line with a mention chip, in a
// freshly opened page, with the browser held still for two seconds from
// the moment the dictation is on the clipboard. The dictation lands, never
// the user's old clipboard, the user's clipboard comes back afterwards,
// and the report says no more than was seen.

#include "tests/support/browser_page_fixture.h"
#include "tests/support/process_hold.h"
#include "tests/support/qt_printers.h"
#include "tests/support/x_clipboard_client.h"

namespace tovalit {
namespace {

using namespace std::chrono_literals;
using testing::Browser;
using testing::runTask;
using testing::waitUntil;
using testing::XClipboardClient;

class WebDelayedPasteTest : public testing::BrowserPageFixture {};

TEST_P(WebDelayedPasteTest, ABrowserThatPastesLateGetsTheDictationAndTheUsersClipboardComesBack) {
    ASSERT_NO_FATAL_FAILURE(
        openWatchedPage(benchDocument("chat-line-mention.html"), "the line to be ready"));
    auto owner = XClipboardClient::copy(QStringLiteral("old"));
    ASSERT_TRUE(owner);
    // Words the line does not hold: the paste goes in at the caret as it is.
    const QString spoken = QStringLiteral("周五之前交周报，");
    testing::ProcessHold hold(pid, 2000);

    const InsertionResult result = runTask(service->insert(spoken, context(), {}));
    EXPECT_TRUE(hold.held());
    EXPECT_TRUE(result == InsertionResult::pastedFromClipboard ||
                result == InsertionResult::pastedNeedsAttention)
        << rawValue(result).toStdString() << "\n"
        << logLines().join(u'\n').toStdString();
    EXPECT_EQ(logLines(QStringLiteral("insert.direct")), QStringList());
    EXPECT_TRUE(waitUntil([&] { return pageTitle() == QStringLiteral("ok=1 new=") + spoken; },
                          "the page to say the dictation landed exactly", 10s))
        << "the page's title: " << pageTitle().toStdString() << "\n"
        << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(waitUntil([] { return XClipboardClient::paste() == QStringLiteral("old"); },
                          "the user's clipboard to come back", 10s));
}

INSTANTIATE_TEST_SUITE_P(Browsers, WebDelayedPasteTest,
                         ::testing::Values(Browser::firefox, Browser::chromium),
                         testing::BrowserPageFixture::browserName);

} // namespace
} // namespace tovalit
