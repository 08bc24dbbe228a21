// The platform's stand-ins that other tests stand on: a read must leave
// what it read, or a test of a restore or a listing passes on nothing.

#include "platform/fake/fake_desktop_global_shortcuts.h"
#include "platform/fake/in_memory_pasteboard.h"
#include "tests/support/qt_printers.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

TEST(FakePlatform, ReadsLeaveWhatTheyRead) {
    InMemoryPasteboard pasteboard;
    pasteboard.copyFromElsewhere(QStringLiteral("用户复制的文字"));
    EXPECT_EQ(testing::runTask(pasteboard.pasteboardItems()).size(), 1);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("用户复制的文字"));

    FakeDesktopGlobalShortcuts shortcuts;
    const QString session = testing::runTask(shortcuts.createSession());
    const QList<DesktopShortcut> bound = testing::runTask(shortcuts.bindShortcuts(
        session, {{QStringLiteral("toggle-recording"), QStringLiteral("开始或结束听写"),
                   QStringLiteral("CTRL+ALT+k")}}));
    ASSERT_EQ(bound.size(), 1);
    EXPECT_EQ(testing::runTask(shortcuts.listShortcuts(session)), bound);
}

} // namespace
} // namespace tovalit
