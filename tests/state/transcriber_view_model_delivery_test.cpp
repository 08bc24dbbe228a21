#include "services/text_processing/vellup_structured_formatter_error.h"
#include "tests/state/view_model_harness.h"

#include <QDir>
#include <QFile>

namespace tovalit {
namespace {

using namespace testing;

class FormattingAndDeliveryTest : public ViewModelTest {
protected:
    void SetUp() override { useGateway(); }
};

TEST_F(FormattingAndDeliveryTest, EveryFormattingProblemFallsBackToTheRuleBasedCleanup) {
    makeViewModel();

    // No formatter configuration at all.
    gateway->formatterScript = {std::optional<VellupStructuredFormatterConfiguration>()};
    dictate(QStringLiteral("嗯 今天开会"));
    EXPECT_TRUE(formatterCalls.empty());
    const QString cleaned = TranscriptCleanupService().clean(QStringLiteral("嗯 今天开会"));
    EXPECT_EQ(viewModel->finalTranscript(), cleaned);
    EXPECT_EQ(lastRecord().note, QStringLiteral("整理配置不可用，已退回基础文本清洗；已插入"));
    EXPECT_TRUE(logLines(QStringLiteral("format.response")).isEmpty());

    // The model answers with minutes: not trusted.
    formatterAnswers.script = {QStringLiteral("## 总结\n今天开会")};
    dictate(QStringLiteral("今天开会"));
    EXPECT_EQ(viewModel->finalTranscript(), TranscriptCleanupService().clean(u"今天开会"));
    EXPECT_EQ(lastRecord().note, QStringLiteral("整理结果偏纪要化，已回退为自然文本清洗；已插入"));
    EXPECT_EQ(logLines(QStringLiteral("format.fallback")),
              QStringList{QStringLiteral("reason=over_structured | final=") +
                          TranscriptCleanupService().clean(u"今天开会")});

    // The request fails after its configuration was known.
    formatterAnswers.script = {
        errorOf(VellupStructuredFormatterError::serverError(500, QStringLiteral("boom")))};
    dictate(QStringLiteral("今天开会"));
    EXPECT_EQ(lastRecord().note,
              QStringLiteral("整理失败（host: 127.0.0.1, model: vellup-seed-1-6-flash-250828），"
                             "已退回基础文本清洗：") +
                  VellupStructuredFormatterError::serverError(500, QStringLiteral("boom"))
                      .localizedDescription() +
                  QStringLiteral("；已插入"));
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::completed);

    // The gateway fails before any configuration was handed out.
    gateway->formatterScript = {errorOf(TextError(QStringLiteral("gateway down")))};
    dictate(QStringLiteral("今天开会"));
    EXPECT_TRUE(lastRecord().note->startsWith(
        QStringLiteral("整理失败（host: unknown, model: ") + store->vellupFormatterModel() +
        QStringLiteral("），已退回基础文本清洗：gateway down")));
}

TEST_F(FormattingAndDeliveryTest, AnAcceptedAnswerIsDeliveredExactlyAsItCame) {
    makeViewModel();
    formatterAnswers.fallback = QStringLiteral(" 第一，买菜。\n第二，做饭。 ");
    dictate(QStringLiteral("第一买菜第二做饭"));
    EXPECT_EQ(insertionCalls.at(0).text, QStringLiteral(" 第一，买菜。\n第二，做饭。 "));
    EXPECT_EQ(formatterCalls.at(0).task.asNatural()->stage, NaturalModeStage::mediumCleanup)
        << "a dictated list gets the medium stage however short";
    const QStringList requests = logLines(QStringLiteral("format.request"));
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0], QStringLiteral("stage=mediumCleanup | transcript=第一买菜第二做饭 | "
                                          "profile=generic | before=前文 | selected=<nil> | "
                                          "after=<nil>"));
}

TEST_F(FormattingAndDeliveryTest, TenSecondsExactlyStayShortLongerRecordingsGetTheMediumStage) {
    makeViewModel();
    dictate(QStringLiteral("今天天气不错"), 10.0);
    dictate(QStringLiteral("今天天气不错"), 10.01);
    ASSERT_EQ(formatterCalls.size(), 2u);
    EXPECT_EQ(formatterCalls[0].task.asNatural()->stage, NaturalModeStage::shortCleanup);
    EXPECT_EQ(formatterCalls[1].task.asNatural()->stage, NaturalModeStage::mediumCleanup);
    EXPECT_DOUBLE_EQ(viewModel->records().value(1).duration, 10.0);
}

TEST_F(FormattingAndDeliveryTest, WithoutAutoInsertTheTextIsCopiedOrLeftAlone) {
    store->setAutoInsertIntoFocusedInput(false);
    makeViewModel();
    formatterAnswers.fallback = QStringLiteral("  复制这一句 \n");
    dictate(QStringLiteral("复制这一句"));
    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_EQ(pasteboard->string(), QStringLiteral("复制这一句"));
    EXPECT_EQ(viewModel->lastCopiedAt(), time.now());
    EXPECT_EQ(events->indexOf(QStringLiteral("release wait 0.05")), -1);
    EXPECT_EQ(lastRecord().note, QStringLiteral("已复制到剪贴板"));
    // Without auto-insert the delivery is not silent, yet shows no panel.
    EXPECT_FALSE(panel->calls().contains(QStringLiteral("thinking 准备插入")));

    store->setAutoCopyFinalText(false);
    pasteboard->copyFromElsewhere(QStringLiteral("用户自己的"));
    const auto copiedAt = viewModel->lastCopiedAt();
    time.advance(60);
    dictate(QStringLiteral("什么也不做"));
    EXPECT_EQ(pasteboard->string(), QStringLiteral("用户自己的"));
    EXPECT_EQ(viewModel->lastCopiedAt(), copiedAt);
    EXPECT_EQ(lastRecord().note, std::nullopt);
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::completed);
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("本次转写已完成"));
}

TEST_F(FormattingAndDeliveryTest, AFailedInsertionLeavesTheTextOnTheClipboardWithAToast) {
    makeViewModel();
    formatterAnswers.fallback = QStringLiteral("要插入的话");
    insertionAnswer = errorOf(TextError(QStringLiteral("no focus")));
    dictate(QStringLiteral("要插入的话"));

    EXPECT_EQ(pasteboard->string(), QStringLiteral("要插入的话"));
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::warning);
    EXPECT_EQ(lastRecord().note, QStringLiteral("插入失败，已复制到剪贴板"));
    EXPECT_EQ(logLines(QStringLiteral("deliver.result")),
              QStringList{QStringLiteral("result=insertFailedCopiedToClipboard | reason=throw")});
    EXPECT_EQ(panel->last(),
              QStringLiteral("toast 插入失败，文本已复制到剪贴板，请手动粘贴（Ctrl+V；终端中为 "
                             "Ctrl+Shift+V） | 复制 | 5"));
    EXPECT_FALSE(panel->calls().join(u'\n').contains(QStringLiteral("completion")));

    // The toast's button copies the text again.
    pasteboard->copyFromElsewhere(QStringLiteral("别的"));
    panel->onToastButton();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("要插入的话"));

    // A direct write touches no clipboard; every other result counts as a
    // copy.
    insertionAnswer = InsertionResult::insertedDirectly;
    time.advance(30);
    const auto before = viewModel->lastCopiedAt();
    dictate(QStringLiteral("直接写入"));
    EXPECT_EQ(viewModel->lastCopiedAt(), before);
    insertionAnswer = InsertionResult::pastedNeedsAttention;
    dictate(QStringLiteral("粘贴待确认"));
    EXPECT_EQ(viewModel->lastCopiedAt(), time.now());
    EXPECT_EQ(lastRecord().note, QStringLiteral("已粘贴，未能确认"));
}

TEST_F(FormattingAndDeliveryTest, AFailedInsertionIntoATerminalNamesThatTerminalsPasteKeys) {
    makeViewModel();
    insertionAnswer = InsertionResult::insertFailedCopiedToClipboard;
    providedContext->appName = QStringLiteral("XTerm");
    providedContext->bundleID = QStringLiteral("XTerm");
    formatterAnswers.fallback = QStringLiteral("明天见");
    dictate(QStringLiteral("明天见"));
    EXPECT_EQ(panel->last(),
              QStringLiteral("toast 插入失败，文本已复制到剪贴板，请在 xterm 中按 Shift+Insert "
                             "手动粘贴 | 复制 | 5"));

    // A terminal screen of a program whose paste keys are not known.
    providedContext->appName = QStringLiteral("My Term");
    providedContext->bundleID = QStringLiteral("org.example.myterm");
    providedContext->naturalFormattingContext.focusedElementRole = QStringLiteral("terminal");
    dictate(QStringLiteral("明天见"));
    EXPECT_EQ(panel->last(), QStringLiteral("toast 插入失败，文本已复制到剪贴板，"
                                            "请用该终端自己的粘贴键手动粘贴 | 复制 | 5"));
}

TEST_F(FormattingAndDeliveryTest, ACopyTheClipboardRefusedIsNeverReportedAsDone) {
    // Only copying: the clipboard refuses the write.
    store->setAutoInsertIntoFocusedInput(false);
    makeViewModel();
    formatterAnswers.fallback = QStringLiteral("复制不了");
    pasteboard->refuseNextWrites(1);
    dictate(QStringLiteral("复制不了"));
    EXPECT_EQ(pasteboard->string(), std::nullopt);
    EXPECT_EQ(viewModel->lastCopiedAt(), std::nullopt);
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("复制不了")) << "the history keeps the text";
    const QString notCopied = QStringLiteral("复制到剪贴板失败，文本已保存在历史记录中");
    EXPECT_EQ(lastRecord().note, notCopied);
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::warning);
    EXPECT_EQ(viewModel->lastResultMessage(), notCopied);
    EXPECT_EQ(panel->last(), QStringLiteral("completion ") + notCopied);

    // The insertion fails and so does the copy meant to save the text.
    store->setAutoInsertIntoFocusedInput(true);
    insertionAnswer = errorOf(TextError(QStringLiteral("no focus")));
    formatterAnswers.fallback = QStringLiteral("插不进也复制不了");
    pasteboard->refuseNextWrites(1);
    dictate(QStringLiteral("插不进也复制不了"));
    EXPECT_EQ(pasteboard->string(), std::nullopt);
    const QString neither = QStringLiteral("插入失败，复制到剪贴板也失败，文本已保存在历史记录中");
    EXPECT_EQ(lastRecord().note, neither);
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::warning);
    EXPECT_EQ(panel->last(), QStringLiteral("toast ") + neither + QStringLiteral(" | 复制 | 5"));
    // Its button tries the copy again.
    panel->onToastButton();
    EXPECT_EQ(pasteboard->string(), QStringLiteral("插不进也复制不了"));
}

TEST_F(FormattingAndDeliveryTest, AHistoryThatRefusesTheRecordFailsTheStopAndHidesThePanel) {
    makeViewModel();
    formatterAnswers.fallback = QStringLiteral("会丢吗");
    // A file where the transcripts folder belongs: no record can be kept.
    QDir().mkpath(dataFolder());
    QFile blocker(dataFolder() + QStringLiteral("/transcripts"));
    QDir(dataFolder() + QStringLiteral("/transcripts")).removeRecursively();
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    dictate(QStringLiteral("会丢吗"));

    ASSERT_EQ(viewModel->recordingState().kind(), RecordingState::Case::failed);
    EXPECT_FALSE(viewModel->recordingState().failureMessage().isEmpty());
    EXPECT_EQ(viewModel->lastResultMessage(), viewModel->recordingState().failureMessage());
    EXPECT_EQ(panel->last(), QStringLiteral("hide"));
    EXPECT_EQ(insertionCalls.size(), 1u) << "the text was delivered before the history refused it";
    EXPECT_TRUE(viewModel->records().isEmpty());

    // The next dictation starts from the failure.
    blocker.remove();
    dictate(QStringLiteral("这次可以"));
    EXPECT_EQ(viewModel->recordingState(), RecordingState::idle());
    EXPECT_EQ(viewModel->records().size(), 1);
}

TEST_F(FormattingAndDeliveryTest, CopyingAndToastsOfTheMainWindow) {
    makeViewModel();
    viewModel->copyTranscript(QStringLiteral(" \n \t"));
    EXPECT_FALSE(viewModel->appToast().has_value());
    EXPECT_FALSE(viewModel->lastCopiedAt().has_value());
    EXPECT_EQ(pasteboard->writeCount(), 0);

    viewModel->copyTranscript(QStringLiteral("  复制我 \n"));
    EXPECT_EQ(pasteboard->string(), QStringLiteral("复制我"));
    EXPECT_EQ(viewModel->lastCopiedAt(), time.now());
    ASSERT_TRUE(viewModel->appToast().has_value());
    const AppToastState first = *viewModel->appToast();
    EXPECT_EQ(first.message, QStringLiteral("已复制到剪贴板"));
    EXPECT_FALSE(first.isError);
    settle();
    ASSERT_EQ(toastSleeps.count(), 1u);
    EXPECT_DOUBLE_EQ(toastSleeps.at(0).seconds, 1.6);

    // The same text again is a new toast; the older timer is cancelled and
    // finds nothing of its own when it ends.
    viewModel->copyTranscript(QStringLiteral("复制我"));
    const AppToastState second = *viewModel->appToast();
    EXPECT_NE(second.id, first.id);
    settle();
    EXPECT_TRUE(toastSleeps.at(0).token.isCancelled());
    EXPECT_EQ(viewModel->appToast(), second);
    toastSleeps.wake(1);
    settle();
    EXPECT_FALSE(viewModel->appToast().has_value());

    // The window takes a toast down early; a new one keeps its full time.
    viewModel->copyTranscript(QStringLiteral("三"));
    viewModel->setAppToast(std::nullopt);
    viewModel->copyTranscript(QStringLiteral("四"));
    const AppToastState fourth = *viewModel->appToast();
    settle();
    toastSleeps.wake(2);
    settle();
    EXPECT_EQ(viewModel->appToast(), fourth) << "an older timer leaves a newer toast alone";
    toastSleeps.wake(3);
    settle();
    EXPECT_FALSE(viewModel->appToast().has_value());

    // A refused clipboard is not reported as a copy.
    pasteboard->refuseNextWrites(1);
    const auto copiedAt = viewModel->lastCopiedAt();
    time.advance(5);
    viewModel->copyTranscript(QStringLiteral("五"));
    EXPECT_EQ(viewModel->lastCopiedAt(), copiedAt);
    EXPECT_FALSE(viewModel->appToast().has_value());
}

TEST_F(FormattingAndDeliveryTest, ASpokenInstructionTakesOverFromNaturalFormatting) {
    gateway->defaultFormatter.reset();
    makeViewModel();
    dictate(QStringLiteral("帮我写日报今天修了三个bug"));

    EXPECT_TRUE(formatterCalls.empty()) << "the instruction runs instead of natural formatting";
    EXPECT_TRUE(panel->calls().contains(QStringLiteral("thinking 执行指令中")));
    const QString expected = TranscriptCleanupService().clean(u"今天修了三个bug");
    ASSERT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(insertionCalls[0].text, expected);
    EXPECT_EQ(lastRecord().transcript, expected);
    EXPECT_EQ(lastRecord().rawTranscript, QStringLiteral("帮我写日报今天修了三个bug"));
    EXPECT_EQ(lastRecord().note, QStringLiteral("指令“写日报”配置不可用，已回退基础整理；已插入"));
    EXPECT_EQ(panel->last(), QStringLiteral("completion -"));

    // The phrase alone is no instruction: it is dictated text.
    dictate(QStringLiteral("帮我写日报"));
    EXPECT_EQ(lastRecord().note, QStringLiteral("整理配置不可用，已退回基础文本清洗；已插入"));
}

} // namespace
} // namespace tovalit
