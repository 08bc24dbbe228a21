#include "platform/fake/fake_escape_key_sender.h"
#include "platform/fake/fake_window_system.h"
#include "services/shortcuts/emoji_panel_dismissal_service.h"
#include "tests/services/shortcuts/shortcut_test_support.h"
#include "tests/support/run_task.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using Window = EmojiPanelDismissalService::WindowDescription;

TEST(EmojiPanelDismissalService, OnlyVisiblePanelsOfTheSystemInputOwnersCount) {
    const auto visible = [](QList<Window> windows) {
        return EmojiPanelDismissalService::hasVisibleEmojiPanel(windows);
    };
    const QString switcher = QStringLiteral("TextInputSwitcher");
    const QString menuAgent = QStringLiteral("TextInputMenuAgent");
    EXPECT_FALSE(visible({}));
    EXPECT_FALSE(visible({{switcher, 0.0, 25}})) << "fully transparent";
    EXPECT_FALSE(visible({{switcher, 0.01, 25}}));
    EXPECT_TRUE(visible({{switcher, 1.0, 25}}));
    EXPECT_FALSE(visible({{menuAgent, 1.0, -1}})) << "below the normal layer";
    EXPECT_TRUE(visible({{menuAgent, std::nullopt, std::nullopt}})) << "unknown counts as shown";
    EXPECT_FALSE(visible({{QStringLiteral("Finder"), 1.0, 25}, {std::nullopt, 1.0, 0}}));
    EXPECT_TRUE(
        visible({{QStringLiteral("Finder"), 1.0, 25}, {switcher, 0.0, 0}, {menuAgent, 0.5, 0}}))
        << "any later window may be the panel";
}

class EmojiPanelSearchTest : public ::testing::Test {
protected:
    EmojiPanelSearchTest() {
        windows->setRunning({{100, QStringLiteral("文本编辑"), QStringLiteral("org.example.edit")},
                             {200, QStringLiteral("TextInputSwitcher"), std::nullopt}});
        windows->setWindows({editorWindow});
    }

    WindowInfo editorWindow{1, 100, 0, 1.0, QRectF(0, 0, 800, 600), QStringLiteral("untitled")};
    WindowInfo panelWindow{2, 200, 25, 1.0, QRectF(300, 300, 200, 200), std::nullopt};
    std::shared_ptr<FakeWindowSystem> windows = std::make_shared<FakeWindowSystem>();
    std::shared_ptr<FakeEscapeKeySender> escape = std::make_shared<FakeEscapeKeySender>();
    std::shared_ptr<testing::SleepLog> sleeps = std::make_shared<testing::SleepLog>();
};

TEST_F(EmojiPanelSearchTest, APanelThatShowsUpLateGetsOneEscape) {
    // The panel appears 0.2 s after the stop and goes when Escape arrives.
    sleeps->setOnSleep([this](double total) {
        if (total > 0.199)
            windows->setWindows({panelWindow, editorWindow});
    });
    escape->setOnSend([this] { windows->setWindows({editorWindow}); });
    auto service = std::make_unique<EmojiPanelDismissalService>(windows, escape,
                                                                testing::recordingSleeper(sleeps));
    auto search = service->dismissIfNeeded();
    service.reset();
    testing::runTask(std::move(search));
    EXPECT_EQ(escape->count(), 1);
    EXPECT_EQ(sleeps->durations(), (QList<double>{0.05, 0.05, 0.05, 0.05}))
        << "found at the fifth look";
    EXPECT_EQ(windows->windowListReads(), 5);
}

TEST_F(EmojiPanelSearchTest, WithoutAPanelTheSearchEndsQuietly) {
    const EmojiPanelDismissalService service(windows, escape, testing::recordingSleeper(sleeps));
    testing::runTask(service.dismissIfNeeded());
    EXPECT_EQ(escape->count(), 0);
    EXPECT_EQ(sleeps->durations().size(), 7);
    EXPECT_NEAR(sleeps->total(), 0.35, 1e-9);
    EXPECT_EQ(windows->windowListReads(), 8);
}

TEST_F(EmojiPanelSearchTest, APanelAlreadyShownIsClosedWithoutWaiting) {
    windows->setWindows({panelWindow});
    const EmojiPanelDismissalService service(windows, escape, testing::recordingSleeper(sleeps));
    testing::runTask(service.dismissIfNeeded());
    EXPECT_EQ(escape->count(), 1);
    EXPECT_TRUE(sleeps->durations().isEmpty());
}

} // namespace
} // namespace tovalit
