#include "tests/state/view_model_harness.h"
#include "tests/views/page_snapshot.h"
#include "views/design/tovalit_button.h"
#include "views/design/tovalit_empty_state_card.h"
#include "views/design/tovalit_search_field.h"
#include "views/history/history_list_view.h"
#include "views/history/history_record_card.h"

#include <QPushButton>

namespace tovalit {
namespace {

using namespace testing;

class HistorySnapshotTest : public ViewModelTest {};

// A history as a week of use leaves it, drawn for looking at; the checks
// make sure the cards were really laid out and painted.
TEST_F(HistorySnapshotTest, RendersAWeekOfDictations) {
    makeStore(true);
    struct Sample {
        int minutesAgo;
        double duration;
        const char16_t *text;
        TranscriptRecordStatus status;
        const char16_t *note;
        bool audio;
    };
    const Sample samples[] = {
        {3, 18.6,
         u"下午三点和设计组过一遍新版首页，重点看搜索入口和空状态的文案，会后把结论同步到项目群。",
         TranscriptRecordStatus::completed, nullptr, true},
        {42, 131.0,
         u"关于第二季度的发布计划，我们先确认三个里程碑：四月中旬完成内测，五月初开放公测，"
         u"六月底正式上线。每个里程碑之前一周冻结需求，测试同学提前介入；如果内测反馈的问题超过"
         u"二十个，就把公测顺延一周，同时在周会上说明原因和新的时间点。另外，市场部需要在公测前两周"
         u"拿到宣传素材，设计组请在四月底前交付首页和应用商店截图。",
         TranscriptRecordStatus::completed, nullptr, true},
        {95, 9.2, u"给张三回个邮件，说合同我已经看完了，明天上午十点前发回签字版。",
         TranscriptRecordStatus::warning, u"插入失败，已复制到剪贴板，请手动粘贴", true},
        {260, 6.0, u"", TranscriptRecordStatus::failed, u"流式识别中断：Socket is not connected",
         true},
        {1500, 3725.0,
         u"周例会纪要：本周完成了登录改版和支付回调的灰度，下周重点是性能优化。首页冷启动目标从 "
         u"2.8 "
         u"秒降到 1.5 秒以内，图片改成按需加载；支付回调的重试队列需要补监控和告警；客服反馈的"
         u"发票抬头问题由财务组跟进，周三前给出结论。下次例会改到周四下午两点。",
         TranscriptRecordStatus::completed, nullptr, false},
    };
    for (const Sample &sample : samples) {
        TranscriptRecord record;
        record.id = QUuid::createUuid();
        record.createdAt = QDateTime::currentDateTime().addSecs(-60 * sample.minutesAgo);
        record.duration = sample.duration;
        record.transcript = QString::fromUtf16(sample.text);
        record.status = sample.status;
        if (sample.note)
            record.note = QString::fromUtf16(sample.note);
        if (sample.audio)
            record.audioFileName = record.id.toString(QUuid::WithoutBraces).toUpper() + ".m4a";
        runTask(history.append(record));
    }
    makeViewModel();
    runTask(viewModel->loadHistory());

    HistoryListView page(*viewModel);
    page.cardFor(viewModel->records()[1].id)->expandButton()->click();
    const QImage image = pageSnapshot(&page, QSize(900, 1400), QStringLiteral("history"));
    ASSERT_EQ(page.shownCards().size(), 5);
    for (HistoryRecordCard *card : page.shownCards())
        EXPECT_GT(card->height(), 100) << card->record().transcript.toStdString();
    EXPECT_FALSE(image.isNull());

    page.searchField()->setText(QStringLiteral("没有这个词"));
    pageSnapshot(&page, QSize(760, 700), QStringLiteral("history-no-match"));
}

TEST_F(HistorySnapshotTest, RendersTheEmptyHistory) {
    makeStore(true);
    makeViewModel();
    HistoryListView page(*viewModel);
    const QImage image = pageSnapshot(&page, QSize(900, 700), QStringLiteral("history-empty"));
    EXPECT_FALSE(page.noRecordsCard()->isHidden());
    EXPECT_FALSE(image.isNull());
}

} // namespace
} // namespace tovalit
