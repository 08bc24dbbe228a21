#include "views/design/tovalit_palette.h"
#include "views/history/history_record_presentation.h"

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace HistoryRecordPresentation;

TranscriptRecord record(QString transcript, TranscriptRecordStatus status,
                        std::optional<QString> note = std::nullopt) {
    TranscriptRecord result;
    result.id = QUuid::createUuid();
    result.createdAt = QDateTime(QDate(2026, 3, 7), QTime(9, 5, 1));
    result.duration = 12;
    result.transcript = std::move(transcript);
    result.status = status;
    result.note = std::move(note);
    return result;
}

TEST(HistoryRecordPresentationTest, PreviewCutsAfter120CharactersNotCodeUnits) {
    // 120 characters, each a family emoji of several code points: shown
    // whole, nothing to expand.
    const QString family = QStringLiteral("👨‍👩‍👧");
    const auto exact = record(QStringLiteral("  ") + family.repeated(120) + QStringLiteral("\n"),
                              TranscriptRecordStatus::completed);
    EXPECT_EQ(previewText(exact), family.repeated(120));
    EXPECT_EQ(displayText(exact), family.repeated(120));
    EXPECT_FALSE(canExpand(exact));

    const auto longer =
        record(QStringLiteral("字").repeated(121), TranscriptRecordStatus::completed);
    EXPECT_EQ(previewText(longer), QStringLiteral("字").repeated(120) + QChar(0x2026));
    EXPECT_EQ(displayText(longer), QStringLiteral("字").repeated(121));
    EXPECT_TRUE(canExpand(longer));
}

TEST(HistoryRecordPresentationTest, EmptyTranscriptsSayWhyByTheStoredStatus) {
    EXPECT_EQ(displayText(record(QStringLiteral(" \n"), TranscriptRecordStatus::failed)),
              QStringLiteral("本次未产出可用文本，可查看备注或用归档录音重试。"));
    EXPECT_EQ(displayText(record(QString(), TranscriptRecordStatus::warning)),
              QStringLiteral("本次未产出可用文本。"));
    EXPECT_FALSE(canExpand(record(QString(), TranscriptRecordStatus::failed)));
}

TEST(HistoryRecordPresentationTest, SecondaryLineFollowsTheNoteAndTheShownStatus) {
    using Status = TranscriptRecordStatus;
    EXPECT_EQ(secondaryMessage(record(QString(), Status::failed)),
              QStringLiteral("本次转写失败，可稍后重试。"));
    EXPECT_EQ(secondaryMessage(record(QString(), Status::failed, QStringLiteral("  "))),
              QStringLiteral("本次转写失败，可稍后重试。"))
        << "a blank note counts as none";
    EXPECT_EQ(secondaryMessage(record(QStringLiteral("好"), Status::warning)), std::nullopt);

    // The two key phrases win over every status, also completed.
    EXPECT_EQ(secondaryMessage(record(QStringLiteral("好"), Status::completed,
                                      QStringLiteral("插入失败，已复制到剪贴板"))),
              QStringLiteral("未自动插入，结果已复制。"));
    EXPECT_EQ(secondaryMessage(
                  record(QString(), Status::failed, QStringLiteral("流式识别未产出可用文本"))),
              QStringLiteral("本次没有得到可用文本。"));
    // Any other note shows, trimmed, except on a completed record.
    EXPECT_EQ(secondaryMessage(record(QStringLiteral("好"), Status::warning,
                                      QStringLiteral("  网络抖动，已自动重连\n"))),
              QStringLiteral("网络抖动，已自动重连"));
    EXPECT_EQ(secondaryMessage(record(QStringLiteral("好"), Status::completed,
                                      QStringLiteral("网络抖动，已自动重连"))),
              std::nullopt);

    // A warning that is only about reading the insertion back shows as
    // completed: no line, the success badge.
    const auto pasteOnly =
        record(QStringLiteral("好"), Status::warning, QStringLiteral("目标应用不支持回读确认"));
    EXPECT_EQ(pasteOnly.presentationStatus(), Status::completed);
    EXPECT_EQ(secondaryMessage(pasteOnly), std::nullopt);
    EXPECT_EQ(statusBadgeTitle(pasteOnly.presentationStatus()), QStringLiteral("完成"));
    EXPECT_EQ(statusBadgeTone(pasteOnly.presentationStatus()), TovalitBadgeTone::success);

    EXPECT_EQ(secondaryMessageIcon(Status::failed), QStringLiteral("xmark.octagon"));
    EXPECT_EQ(secondaryMessageColor(Status::failed), TovalitPalette::red());
    EXPECT_EQ(secondaryMessageColor(Status::warning), TovalitPalette::orange());
    EXPECT_EQ(statusBadgeTone(Status::warning), TovalitBadgeTone::warning);
}

TEST(HistoryRecordPresentationTest, SearchFindsTextAndNoteOnlyIgnoringCase) {
    auto first = record(QStringLiteral("明天和 Kovarindel 团队对齐发布计划"),
                        TranscriptRecordStatus::completed);
    first.rawTranscript = QStringLiteral("明天和酷伯内特斯团队对齐发布计划");
    auto second = record(QStringLiteral("给张三回个邮件"), TranscriptRecordStatus::warning,
                         QStringLiteral("插入失败，已复制到剪贴板"));
    auto third = record(QStringLiteral("STRASSE 的拼写"), TranscriptRecordStatus::completed);
    const QList<TranscriptRecord> all{first, second, third};

    EXPECT_EQ(filteredRecords(all, QStringLiteral("  \n")), all);
    EXPECT_EQ(filteredRecords(all, QStringLiteral("  kovarindel ")), QList{first});
    EXPECT_EQ(filteredRecords(all, QStringLiteral("剪贴板")), QList{second}) << "the note";
    EXPECT_EQ(filteredRecords(all, QStringLiteral("酷伯内特斯")), QList<TranscriptRecord>{})
        << "the raw transcript is not searched";
    EXPECT_EQ(filteredRecords(all, QStringLiteral("straße")), QList{third}) << "full case folding";
    EXPECT_EQ(filteredRecords(all, QStringLiteral("完成")), QList<TranscriptRecord>{})
        << "status words are not searched";
}

} // namespace
} // namespace tovalit
