#include "services/instructions/instruction_library_ai_service_error.h"
#include "tests/state/instruction_harness.h"

namespace tovalit {
namespace {

using namespace testing;

class InstructionRoutingTest : public InstructionControllerTest {
protected:
    InstructionLibraryEntry weekly() {
        InstructionLibraryEntry entry = InstructionLibraryEntry::makeCustom(
            std::nullopt, QStringLiteral("周报整理"), QStringLiteral("把流水账整理成周报"),
            QStringLiteral("把用户的流水账整理成周报。"), InstructionLibraryCategory::writing, true,
            1200, instructionTestEpoch, instructionTestEpoch);
        return entry;
    }
    QString cleaned(const QString &text) const { return TranscriptCleanupService().clean(text); }
};

TEST_F(InstructionRoutingTest, AStoredInstructionRunsOnTheRestOfTheDictation) {
    const InstructionLibraryEntry entry = weekly();
    storeLibrary({entry});
    useModel();
    bootstrap();
    server.enqueue(
        StandInHttpReply::json(200, chatReply(QStringLiteral("  本周：修复三个缺陷。\n"))));

    dictate(QStringLiteral("用周报整理指令，今天修了三个bug "));

    // One request: the entry's prompt over the text after the phrase.
    ASSERT_EQ(server.requests().size(), 1u);
    const RecordedHttpRequest &request = server.requests()[0];
    EXPECT_EQ(request.path(), "/api/proxy/format");
    EXPECT_EQ(request.header("Authorization"), "Bearer tok-1");
    EXPECT_EQ(messageContents(request),
              (QStringList{entry.promptTemplate, QStringLiteral("今天修了三个bug")}));
    EXPECT_EQ(jsonBody(request).value(QStringLiteral("max_tokens")).toInt(), 1200);
    EXPECT_EQ(gateway->formatterRequests, 1);
    EXPECT_TRUE(formatterCalls.empty()) << "no natural formatting after an instruction";

    // The model's text is what goes into the focused input and the history.
    ASSERT_EQ(insertionCalls.size(), 1u);
    EXPECT_EQ(insertionCalls[0].text, QStringLiteral("本周：修复三个缺陷。"));
    EXPECT_EQ(viewModel->finalTranscript(), QStringLiteral("本周：修复三个缺陷。"));
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("本周：修复三个缺陷。"));
    EXPECT_EQ(lastRecord().rawTranscript, QStringLiteral("用周报整理指令，今天修了三个bug"));
    EXPECT_EQ(lastRecord().note, QStringLiteral("已使用指令：周报整理；已插入"));
    EXPECT_TRUE(panel->calls().contains(QStringLiteral("thinking 执行指令中")));
    EXPECT_EQ(panel->last(), QStringLiteral("completion -"));

    // Every phrase of the entry names it.
    server.enqueue(StandInHttpReply::json(200, chatReply(QStringLiteral("第二份"))));
    dictate(QStringLiteral("使用周报整理指令：明天发版"));
    EXPECT_EQ(messageContents(server.requests().back()).value(1), QStringLiteral("明天发版"));
    EXPECT_EQ(lastRecord().transcript, QStringLiteral("第二份"));
}

TEST_F(InstructionRoutingTest, AnInstructionThatCannotRunDeliversTheCleanedInputWithTheReason) {
    storeLibrary({weekly()});
    useModel();
    bootstrap();
    const QString input = QStringLiteral("嗯 今天修了三个bug");

    // No configuration at all.
    gateway->formatterScript = {std::optional<VellupStructuredFormatterConfiguration>()};
    dictate(QStringLiteral("用周报整理指令") + input);
    EXPECT_EQ(insertionCalls.back().text, cleaned(input));
    EXPECT_EQ(lastRecord().note,
              QStringLiteral("指令“周报整理”配置不可用，已回退基础整理；已插入"));

    // The gateway session cannot be had: one attempt, no recovery.
    const int requestsBefore = gateway->formatterRequests;
    gateway->formatterScript = {errorOf(TextError(QStringLiteral("gateway down")))};
    dictate(QStringLiteral("用周报整理指令") + input);
    EXPECT_EQ(lastRecord().note,
              QStringLiteral("指令“周报整理”会话不可用，已回退基础整理：gateway down；已插入"));
    EXPECT_EQ(gateway->formatterRequests, requestsBefore + 1);

    // The model refuses, even with the status that would renew a session.
    server.enqueue(StandInHttpReply::json(401, QByteArray(R"({"error":"invalid_token"})")));
    dictate(QStringLiteral("用周报整理指令") + input);
    EXPECT_EQ(server.requests().size(), 1u) << "a run is never repeated";
    EXPECT_EQ(gateway->invalidations, 0);
    EXPECT_EQ(insertionCalls.back().text, cleaned(input));
    const QString refused = InstructionLibraryAIServiceError::serverError(
                                401, QStringLiteral(R"({"error":"invalid_token"})"))
                                .localizedDescription();
    EXPECT_EQ(lastRecord().note, QStringLiteral("指令“周报整理”执行失败，已回退基础整理：") +
                                     refused + QStringLiteral("；已插入"));
    EXPECT_TRUE(formatterCalls.empty()) << "a recognised instruction never falls through";
    EXPECT_EQ(insertionCalls.size(), 3u);
}

TEST_F(InstructionRoutingTest,
       AControllerThatGoesWhileAnInstructionWaitsForItsModelLeavesItUnheard) {
    storeLibrary({weekly()});
    // A run, then a creation, each waiting for the gateway's formatter
    // configuration when the application quits.
    for (const QString &spoken : {QStringLiteral("用周报整理指令，今天修了三个bug"),
                                  QStringLiteral("帮我创建一个指令把会议记录整理成待办清单")}) {
        bootstrapped = false;
        ASSERT_NO_FATAL_FAILURE(bootstrap());
        defaultTranscriberScript.finishText = spoken;
        startRecording();
        const int requestsBefore = gateway->formatterRequests;
        const std::shared_ptr<Gate> configuration = gateway->holdNextFormatter();
        time.advance(2.0);
        QCoro::Task<void> stopping = viewModel->toggleRecording();
        ASSERT_TRUE(waitUntil([&] { return gateway->formatterRequests == requestsBefore + 1; },
                              "the instruction's configuration"));
        viewModel.reset();
        configuration->open();
        settle();
    }
    EXPECT_TRUE(insertionCalls.empty());
    EXPECT_TRUE(formatterCalls.empty());
    // Only the recordings cut off, filed at the next load for a retry.
    for (const TranscriptRecord &record : runTask(history.loadRecords()))
        EXPECT_EQ(record.status, TranscriptRecordStatus::failed);
    for (const QString &call : panel->calls())
        EXPECT_FALSE(call.startsWith(QStringLiteral("toast 已创建指令"))) << call.toStdString();
}

TEST_F(InstructionRoutingTest, WithoutARunnableInstructionTheDictationIsFormattedAsUsual) {
    InstructionLibraryEntry disabled = weekly();
    disabled.enabled = false;
    storeLibrary({disabled});
    useModel();
    bootstrap();
    formatterAnswers.fallback = QStringLiteral("自然整理");

    // A switched-off entry's phrase is ordinary speech.
    dictate(QStringLiteral("用周报整理指令今天修了三个bug"));
    EXPECT_EQ(formatterCalls.size(), 1u);
    EXPECT_EQ(formatterCalls[0].text, QStringLiteral("用周报整理指令今天修了三个bug"));
    EXPECT_EQ(insertionCalls.back().text, QStringLiteral("自然整理"));

    // A phrase with nothing (or only separators) after it is no run.
    dictate(QStringLiteral("帮我写日报"));
    dictate(QStringLiteral("帮我写日报，。"));
    EXPECT_EQ(formatterCalls.size(), 3u);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_FALSE(panel->calls().contains(QStringLiteral("thinking 执行指令中")));
    EXPECT_EQ(lastRecord().note, QStringLiteral("已插入"));
}

} // namespace
} // namespace tovalit
