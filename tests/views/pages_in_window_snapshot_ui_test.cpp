#include "tests/views/window_pages_fixture.h"
#include "views/client_window_view.h"
#include "views/history/history_list_view.h"
#include "views/instructions/instruction_library_view.h"

#include <QDir>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace testing;

// The history and instruction pages as the main window shows them, drawn
// for looking at (written out when TOVALIT_PAGE_SNAPSHOTS names a folder).
class PagesInWindowTest : public WindowPagesTest {
protected:
    QImage grab(ClientWindowView &window, const QString &name) {
        pumpEvents(30);
        const QImage image = window.grab().toImage();
        const QString folder = qEnvironmentVariable("TOVALIT_PAGE_SNAPSHOTS");
        if (!folder.isEmpty() && QDir().mkpath(folder))
            image.save(folder + u'/' + name + QStringLiteral(".png"));
        return image;
    }
};

TEST_F(PagesInWindowTest, TheWindowHostsTheHistoryAndInstructionPages) {
    const char16_t *texts[] = {
        u"下午三点和设计组过一遍新版首页，重点看搜索入口和空状态的文案。",
        u"给张三回个邮件，说合同我已经看完了，明天上午十点前发回签字版。",
    };
    int minutes = 30;
    for (const char16_t *text : texts) {
        TranscriptRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = QDateTime::currentDateTime().addSecs(-60 * minutes);
        minutes -= 10;
        record.duration = 14.2;
        record.transcript = QString::fromUtf16(text);
        runTask(doubles.history.append(record));
    }
    makeObjects();
    runTask(viewModel->loadHistory());
    ClientWindowView window(*viewModel, *store, *permissions, doubles.clientWindowDependencies());
    window.resize(1180, 760);
    window.show();

    window.setSelection(ClientWindowSection::history);
    auto *history = qobject_cast<HistoryListView *>(window.currentPage());
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->shownCards().size(), 2);
    EXPECT_FALSE(grab(window, QStringLiteral("window-history")).isNull());

    window.setSelection(ClientWindowSection::instructions);
    ASSERT_NE(qobject_cast<InstructionLibraryView *>(window.currentPage()), nullptr);
    EXPECT_FALSE(grab(window, QStringLiteral("window-instructions")).isNull());
}

} // namespace
} // namespace tovalit
