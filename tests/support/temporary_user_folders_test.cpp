// Each test's user folders hold its own diagnostics log: a line still on
// its way to the log when one test's folders give way to the next test's
// is the first test's line, and the next test never reads it.

#include "services/settings/tovalit_debug_logger.h"
#include "tests/support/file_contents.h"
#include "tests/support/scoped_environment_variable.h"
#include "tests/support/temporary_user_folders.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <optional>

namespace tovalit {
namespace {

using namespace std::chrono_literals;

TEST(TemporaryUserFoldersTest, ALineQueuedBeforeTheFoldersChangeStaysOutOfTheNextTestsLog) {
    testing::ScopedEnvironmentVariable logging(TovalitDebugLogger::environmentVariable,
                                               QByteArray("1"));
    std::optional<testing::TemporaryUserFolders> first(std::in_place);
    // The log's writer is still busy with an earlier line when the next
    // folders come, as on a loaded machine; a flush that waits for it
    // finds it done after a moment.
    std::promise<void> nextFoldersInPlace;
    std::shared_future<void> inPlace = nextFoldersInPlace.get_future().share();
    TovalitDebugLogger::log(QStringLiteral("test.folders"), [inPlace]() -> QString {
        inPlace.wait_for(500ms);
        return QStringLiteral("an earlier line");
    });
    TovalitDebugLogger::log(QStringLiteral("test.folders"),
                            QStringLiteral("logged by the first test"));
    first.reset();
    const testing::TemporaryUserFolders next;
    nextFoldersInPlace.set_value();
    TovalitDebugLogger::flush();
    EXPECT_FALSE(testing::readFile(TovalitDebugLogger::logFilePath())
                     .contains("logged by the first test"));
}

} // namespace
} // namespace tovalit
