#include "services/instructions/instruction_library_ai_service.h"
#include "tests/state/instruction_harness.h"

#include <QDir>
#include <QFile>

namespace tovalit {
namespace {

using namespace testing;
using Category = InstructionLibraryCategory;

const QString createMeetingTodos = QStringLiteral("帮我创建一个指令把会议记录整理成待办清单");
const QString meetingTodosToast =
    QStringLiteral("toast 已创建指令“把会议记录整”，5 秒后会加入指令库。 | 撤销 | 5");
const QString undoneToast = QStringLiteral("toast 已撤销，本次不会加入指令库。 | - | 1.6");

QString templatePrompt(const QString &request) {
    return QStringLiteral("你是 Tovalit 的自定义指令助手。\n\n"
                          "未来你会收到一段新的用户输入，请按照下面这个需求处理它：\n") +
           request +
           QStringLiteral("\n\n要求：\n"
                          "1. 只输出最终结果，不要解释，不要代码块。\n"
                          "2. 保留用户输入中的关键信息，不要编造。\n"
                          "3. 如果信息不足，就基于现有内容给出最稳妥的结果。");
}

class VoiceCreatedInstructionTest : public InstructionControllerTest {
protected:
    // The undo window of the latest creation: the newest five-second sleep.
    std::size_t undoWindow() const {
        for (std::size_t index = sessionSleeps.count(); index > 0; --index) {
            if (sessionSleeps.at(index - 1).seconds ==
                TranscriberViewModel::lexiconUndoToastDuration)
                return index - 1;
        }
        ADD_FAILURE() << "no undo window is open";
        return 0;
    }
    void waitForTitles(const QStringList &titles) {
        EXPECT_TRUE(waitUntil([&] { return customTitles() == titles; }, "the library to change"))
            << customTitles().join(u',').toStdString();
    }
};

TEST_F(VoiceCreatedInstructionTest, ADescriptionBecomesAnInstructionOnceTheUndoWindowPasses) {
    bootstrap();
    dictate(createMeetingTodos);
    const QDateTime draftedAt = time.now();

    // Recorded, never typed; the panel keeps the undo toast.
    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_TRUE(formatterCalls.empty());
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("已创建指令：把会议记录整"));
    EXPECT_EQ(lastRecord().rawTranscript, createMeetingTodos);
    EXPECT_EQ(lastRecord().note,
              QStringLiteral("已识别为创建指令，5 秒后会加入指令库，可点击撤销"));
    EXPECT_EQ(lastRecord().status, TranscriptRecordStatus::completed);
    const QStringList calls = panel->calls();
    ASSERT_GE(calls.size(), 2);
    EXPECT_EQ(calls.mid(calls.size() - 2),
              (QStringList{QStringLiteral("thinking 创建指令中"), meetingTodosToast}));
    EXPECT_FALSE(viewModel->appToast().has_value()) << "no model, no complaint";

    // Nothing joins the library while the window is open.
    const std::size_t window = undoWindow();
    settle();
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());
    EXPECT_FALSE(QFile::exists(libraryPath()));

    time.advance(5.0);
    sessionSleeps.wake(window);
    waitForTitles({QStringLiteral("把会议记录整")});
    const InstructionLibraryEntry created = viewModel->instructionLibraryEntries().at(0);
    EXPECT_EQ(created.source, InstructionLibraryEntrySource::custom);
    EXPECT_EQ(created.summary, QStringLiteral("把会议记录整理成待办清单"));
    EXPECT_EQ(created.promptTemplate, templatePrompt(QStringLiteral("把会议记录整理成待办清单")));
    EXPECT_EQ(created.category, Category::planning);
    EXPECT_TRUE(created.enabled);
    EXPECT_EQ(created.maxTokens, 900);
    EXPECT_EQ(created.createdAt, draftedAt);
    EXPECT_EQ(created.updatedAt, draftedAt);
    EXPECT_EQ(created.invocationPhrases.value(0), QStringLiteral("用把会议记录整指令"));
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("已创建指令：把会议记录整"));
    EXPECT_FALSE(viewModel->appToast().has_value()) << "the commit saves without a toast";
    EXPECT_EQ(storedLibrary().customEntries, viewModel->instructionLibraryEntries());
}

TEST_F(VoiceCreatedInstructionTest, UndoWorksOnlyWhileTheCreationWaits) {
    bootstrap();
    dictate(createMeetingTodos);
    const std::size_t window = undoWindow();
    const FloatingPanelCoordinating::Action undo = panel->onToastButton;
    ASSERT_TRUE(undo);

    // Inside the window: nothing is stored, and the user is told so.
    undo();
    settle();
    EXPECT_EQ(panel->last(), undoneToast);
    EXPECT_TRUE(sessionSleeps.at(window).token.isCancelled());
    sessionSleeps.wake(window);
    settle();
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());
    EXPECT_FALSE(QFile::exists(libraryPath()));
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("已创建指令：把会议记录整"))
        << "the dictation's record stays";

    // After the window the instruction is in the library; a late press
    // takes nothing back and claims nothing.
    dictate(createMeetingTodos);
    const FloatingPanelCoordinating::Action lateUndo = panel->onToastButton;
    sessionSleeps.wake(undoWindow());
    waitForTitles({QStringLiteral("把会议记录整")});
    panel->clear();
    lateUndo();
    settle();
    EXPECT_TRUE(panel->calls().isEmpty()) << panel->calls().join(u'\n').toStdString();
    EXPECT_EQ(customTitles(), QStringList{QStringLiteral("把会议记录整")});
    EXPECT_EQ(storedLibrary().customEntries.size(), 1);
}

TEST_F(VoiceCreatedInstructionTest, ANewerCreationOvertakesAPendingOneButADictationDoesNot) {
    bootstrap();
    dictate(QStringLiteral("帮我创建一个指令翻译成英文邮件"));
    const std::size_t first = undoWindow();
    dictate(QStringLiteral("新建一个指令润色成正式语气"));
    const std::size_t second = undoWindow();
    ASSERT_NE(first, second);

    // The first is dropped silently: no undo feedback, never committed.
    EXPECT_TRUE(sessionSleeps.at(first).token.isCancelled());
    EXPECT_FALSE(panel->calls().contains(undoneToast));
    sessionSleeps.wake(first);
    settle();
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());
    sessionSleeps.wake(second);
    waitForTitles({QStringLiteral("润色成正式语")});

    // An ordinary dictation inside a window leaves the creation pending.
    dictate(QStringLiteral("帮我建一个指令总结要点"));
    const std::size_t third = undoWindow();
    dictate(QStringLiteral("今天天气不错"));
    EXPECT_EQ(insertionCalls.size(), 1u);
    EXPECT_FALSE(sessionSleeps.at(third).token.isCancelled());
    time.advance(1.0);
    sessionSleeps.wake(third);
    waitForTitles({QStringLiteral("总结要点"), QStringLiteral("润色成正式语")});
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("已创建指令：总结要点"));
}

TEST_F(VoiceCreatedInstructionTest, TheModelDraftsTheEntryAndItsFailuresFallBackToTheTemplate) {
    useModel();
    bootstrap();
    server.enqueue(StandInHttpReply::json(
        200,
        chatReply(QStringLiteral(R"({"title":"会议待办","summary":"把会议记录变成待办",)"
                                 R"("category":"planning","prompt_template":"你是会议助手。"})"))));
    dictate(createMeetingTodos);

    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(messageContents(server.requests()[0]),
              (QStringList{InstructionLibraryAIService::draftPrompt(),
                           QStringLiteral("把会议记录整理成待办清单"), QStringLiteral("{")}));
    EXPECT_TRUE(panel->last().startsWith(QStringLiteral("toast 已创建指令“会议待办”")));
    EXPECT_FALSE(viewModel->appToast().has_value());
    sessionSleeps.wake(undoWindow());
    waitForTitles({QStringLiteral("会议待办")});
    const InstructionLibraryEntry drafted = viewModel->instructionLibraryEntries().at(0);
    EXPECT_EQ(drafted.summary, QStringLiteral("把会议记录变成待办"));
    EXPECT_EQ(drafted.promptTemplate, QStringLiteral("你是会议助手。"));
    EXPECT_EQ(drafted.category, Category::planning);
    EXPECT_EQ(drafted.maxTokens, 900);

    // A reply that is no draft: the template, with an error toast.
    server.enqueue(StandInHttpReply::json(200, chatReply(QStringLiteral("好的，我来帮你"))));
    dictate(QStringLiteral("帮我创建一个指令改写得更礼貌"));
    settle();
    AppToastState toast = viewModel->appToast().value_or(AppToastState{});
    EXPECT_EQ(toast.message, QStringLiteral("指令草稿解析失败，已回退基础模板"));
    EXPECT_TRUE(toast.isError);
    EXPECT_DOUBLE_EQ(lastToastDuration(), 2.2);
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("已创建指令：改写得更礼貌"));

    // The server fails: the same.
    server.enqueue(StandInHttpReply::json(503, QByteArray("busy")));
    dictate(QStringLiteral("帮我创建一个指令改写得更礼貌"));
    EXPECT_EQ(viewModel->appToast().value_or(AppToastState{}).message,
              QStringLiteral("指令草稿解析失败，已回退基础模板"));
    EXPECT_NE(viewModel->appToast()->id, toast.id);

    // No session: the template, with the gateway's toast; one attempt.
    const std::size_t requests = server.requests().size();
    gateway->formatterScript = {errorOf(TextError(QStringLiteral("gateway down")))};
    dictate(QStringLiteral("帮我创建一个指令写个提示词"));
    toast = viewModel->appToast().value_or(AppToastState{});
    EXPECT_EQ(toast.message, QStringLiteral("网关会话不可用，已回退基础模板"));
    EXPECT_TRUE(toast.isError);
    EXPECT_EQ(server.requests().size(), requests);
    EXPECT_EQ(gateway->invalidations, 0);
    sessionSleeps.wake(undoWindow());
    waitForTitles({QStringLiteral("写个提示词"), QStringLiteral("会议待办")});
    EXPECT_EQ(viewModel->instructionLibraryEntries().at(0).category, Category::prompt);
}

TEST_F(VoiceCreatedInstructionTest, ACreationNamingAStoredEntryUpdatesItInPlace) {
    InstructionLibraryEntry stored = InstructionLibraryEntry::makeCustom(
        std::nullopt, QStringLiteral("周报整理"), QStringLiteral("旧说明"),
        QStringLiteral("旧提示"), Category::writing, false, 2000, instructionTestEpoch,
        instructionTestEpoch);
    storeLibrary({stored});
    bootstrap();

    dictate(QStringLiteral("帮我创建一个指令 周报整理"));
    sessionSleeps.wake(undoWindow());
    ASSERT_TRUE(waitUntil(
        [&] {
            return !viewModel->instructionLibraryEntries().isEmpty() &&
                   viewModel->instructionLibraryEntries().at(0).promptTemplate != u"旧提示";
        },
        "the update"));
    ASSERT_EQ(viewModel->instructionLibraryEntries().size(), 1);
    const InstructionLibraryEntry updated = viewModel->instructionLibraryEntries().at(0);
    EXPECT_EQ(updated.id(), stored.id());
    EXPECT_EQ(updated.createdAt, instructionTestEpoch);
    EXPECT_EQ(updated.updatedAt, time.now());
    EXPECT_EQ(updated.maxTokens, 2000) << "a creation never takes token room away";
    EXPECT_EQ(updated.summary, QStringLiteral("周报整理"));
    EXPECT_EQ(updated.promptTemplate, templatePrompt(QStringLiteral("周报整理")));
    EXPECT_TRUE(updated.enabled);
    EXPECT_EQ(storedLibrary().customEntries, viewModel->instructionLibraryEntries());
}

TEST_F(VoiceCreatedInstructionTest, AFailedSaveIsReportedAndNoCreationIsClaimed) {
    bootstrap();
    dictate(createMeetingTodos);
    blockDataFolder();

    const AppToastState toast = toastAfter([&] { sessionSleeps.wake(undoWindow()); });
    EXPECT_TRUE(toast.message.startsWith(QStringLiteral("指令库保存失败：")))
        << toast.message.toStdString();
    EXPECT_TRUE(toast.isError);
    EXPECT_DOUBLE_EQ(lastToastDuration(), 2.2);
    EXPECT_TRUE(viewModel->instructionLibraryEntries().isEmpty());
    const QString reason = toast.message.mid(QStringLiteral("指令库保存失败：").size());
    EXPECT_EQ(viewModel->lastResultMessage(), QStringLiteral("创建指令失败：") + reason);
    unblockDataFolder();
}

TEST(FallbackInstructionDraftTest, TheTemplateFollowsTheDescription) {
    const QDateTime now(QDate(2026, 3, 7), QTime(10, 0), Qt::UTC);
    const auto draft = [&](const QString &description) {
        return TranscriberViewModel::fallbackInstructionDraft(description, now);
    };

    // Separators do not count toward the six-character title.
    InstructionLibraryEntry entry = draft(QStringLiteral("  把，会议：记录；整 理、成,表格\n"));
    EXPECT_EQ(entry.title, QStringLiteral("把会议记录整"));
    EXPECT_EQ(entry.summary, QStringLiteral("把，会议：记录；整 理、成,表格"));
    EXPECT_EQ(entry.promptTemplate,
              templatePrompt(QStringLiteral("把，会议：记录；整 理、成,表格")));
    EXPECT_EQ(entry.source, InstructionLibraryEntrySource::custom);
    EXPECT_TRUE(entry.enabled);
    EXPECT_EQ(entry.maxTokens, 900);
    EXPECT_EQ(entry.createdAt, now);
    EXPECT_EQ(entry.updatedAt, now);
    EXPECT_EQ(entry.invocationPhrases,
              InstructionLibraryEntry::customInvocationPhrases(QStringLiteral("把会议记录整")));
    EXPECT_EQ(draft(QStringLiteral("，。；：、 ,;:")).title, QStringLiteral("我的指令"));

    // An empty description still makes a usable entry.
    entry = draft(QStringLiteral(" \n"));
    EXPECT_EQ(entry.title, QStringLiteral("我的指令"));
    EXPECT_EQ(entry.summary, QStringLiteral("语音创建的自定义指令"));
    EXPECT_EQ(entry.promptTemplate, templatePrompt(QStringLiteral("请根据用户输入完成对应任务。")));
    EXPECT_EQ(entry.category, Category::writing);

    // 28 characters are the whole summary; one more is cut with "…".
    // Characters, not UTF-16 units: "é" here is two code points.
    const QString accented = QStringLiteral("e\u0301");
    const QString twentyEight = accented.repeated(27) + QStringLiteral("字");
    EXPECT_EQ(draft(twentyEight).summary, twentyEight);
    EXPECT_EQ(draft(twentyEight + QStringLiteral("尾")).summary, twentyEight + QStringLiteral("…"));
    EXPECT_EQ(draft(QStringLiteral("𠀀𠀁𠀂𠀃𠀄𠀅𠀆")).title, QStringLiteral("𠀀𠀁𠀂𠀃𠀄𠀅"));
}

TEST(FallbackInstructionDraftTest, TheCategoryComesFromTheFirstMatchingKeyword) {
    const auto category = [](const QString &text) {
        return TranscriberViewModel::fallbackInstructionCategory(text);
    };
    EXPECT_EQ(category(QStringLiteral("翻译之前先写个ＰＲＯＭＰＴ")), Category::prompt);
    EXPECT_EQ(category(QStringLiteral("优化我的 Prompt")), Category::prompt);
    EXPECT_EQ(category(QStringLiteral("整理成提示词")), Category::prompt);
    EXPECT_EQ(category(QStringLiteral("翻译并总结")), Category::rewrite);
    EXPECT_EQ(category(QStringLiteral("润色")), Category::rewrite);
    EXPECT_EQ(category(QStringLiteral("列个待办")), Category::planning);
    EXPECT_EQ(category(QStringLiteral("写一封感谢信")), Category::writing);
    EXPECT_EQ(category(QString()), Category::writing);
}

} // namespace
} // namespace tovalit
