#include "models/transcript_record.h"
#include "support/json_text.h"
#include "tests/support/scoped_time_zone.h"

#include <gtest/gtest.h>
#include <limits>

namespace tovalit {
namespace {

TranscriptRecord recordWith(double duration,
                            TranscriptRecordStatus status = TranscriptRecordStatus::completed,
                            std::optional<QString> note = std::nullopt) {
    TranscriptRecord record;
    record.id = QUuid::createUuid();
    record.createdAt = QDateTime::fromSecsSinceEpoch(1772845501, Qt::UTC);
    record.duration = duration;
    record.status = status;
    record.note = std::move(note);
    return record;
}

TEST(TranscriptRecord, FormattedDurationRoundsHalfAwayAndSwitchesToHoursAt3600) {
    const std::pair<double, const char *> cases[] = {
        {0.4, "00:00"},       {59.5, "01:00"},    {75.4, "01:15"},     {3599.4, "59:59"},
        {3599.5, "01:00:00"}, {3725, "01:02:05"}, {86400, "24:00:00"}, {360000, "100:00:00"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(recordWith(seconds).formattedDuration(), QString::fromUtf8(text)) << seconds;
}

TEST(TranscriptRecord, FormattedDurationOfNonsenseIsZeroAndHugeValuesDoNotOverflow) {
    for (const double bad :
         {-1.0, -0.4, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(recordWith(bad).formattedDuration(), QStringLiteral("00:00")) << bad;
    }
    EXPECT_EQ(recordWith(1e300).formattedDuration(), QStringLiteral("2562047788015215:30:07"));
}

TEST(TranscriptRecord, FormattedCreatedAtIsLocalTimeWithoutYear) {
    testing::ScopedTimeZone zone("Asia/Shanghai");
    auto record = recordWith(1);
    record.createdAt = QDateTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC);
    EXPECT_EQ(record.formattedCreatedAt(), QStringLiteral("03-07 09:05:01"));
    auto yearLater = record;
    yearLater.createdAt = record.createdAt.addYears(1);
    EXPECT_EQ(yearLater.formattedCreatedAt(), record.formattedCreatedAt());
}

TEST(TranscriptRecord, PresentationLiftsOnlyReadBackWarnings) {
    using S = TranscriptRecordStatus;
    EXPECT_EQ(recordWith(1, S::warning, QStringLiteral("  不支持回读确认 ")).presentationStatus(),
              S::completed);
    EXPECT_EQ(
        recordWith(1, S::warning, QStringLiteral("不支持回读确认，插入失败")).presentationStatus(),
        S::warning);
    EXPECT_EQ(recordWith(1, S::warning, QStringLiteral("不允许确认结果，未产出可用文本"))
                  .presentationStatus(),
              S::warning);
    EXPECT_EQ(recordWith(1, S::warning, QStringLiteral(" \n ")).presentationStatus(), S::warning);
    EXPECT_EQ(recordWith(1, S::failed, QStringLiteral("不允许确认结果")).presentationStatus(),
              S::failed);
}

TEST(TranscriptRecord, CanRetryNeedsAudioAndAStoredStatusOtherThanCompleted) {
    using S = TranscriptRecordStatus;
    auto warning = recordWith(1, S::warning, QStringLiteral("不支持回读确认"));
    warning.audioFileName = QString();
    EXPECT_TRUE(warning.canRetry()) << "an empty name counts; the stored status decides";
    auto completed = recordWith(1);
    completed.audioFileName = QStringLiteral("A.m4a");
    EXPECT_FALSE(completed.canRetry());
    EXPECT_FALSE(recordWith(1, S::failed).canRetry());
}

TEST(TranscriptRecord, JsonFormKeysAndOptionals) {
    auto record = recordWith(75.4, TranscriptRecordStatus::warning);
    record.id = QUuid(QStringLiteral("6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6"));
    record.transcript = QStringLiteral(" 你好 ");
    record.note = QStringLiteral("x");
    const QJsonObject object = record.toJson();
    EXPECT_EQ(json::compact(object),
              QByteArray(R"({"createdAt":"2026-03-07T01:05:01Z","duration":75.4,)"
                         R"("id":"6F1C2A7E-0B3D-4C5E-9F10-A1B2C3D4E5F6","note":"x",)"
                         R"("status":"warning","transcript":" 你好 "})"));
    EXPECT_EQ(TranscriptRecord::fromJson(object), record);
}

TEST(TranscriptRecord, DecodingRules) {
    const auto parse = [](const char *text) {
        return TranscriptRecord::fromJson(*json::parseObject(QByteArray(text)));
    };
    const auto lenient = parse(
        R"({"id":"6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6","createdAt":"2026-03-07T09:05:01+08:00",
        "duration":3,"transcript":"t","note":null,"status":null,"other":[1]})");
    ASSERT_TRUE(lenient);
    EXPECT_EQ(lenient->status, TranscriptRecordStatus::completed);
    EXPECT_FALSE(lenient->note);
    EXPECT_EQ(lenient->createdAt, QDateTime(QDate(2026, 3, 7), QTime(1, 5, 1), Qt::UTC));
    EXPECT_FALSE(lenient->toJson().contains(QStringLiteral("note")));

    EXPECT_FALSE(
        parse(R"({"id":"6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6","createdAt":"2026-03-07T01:05:01Z",
        "duration":3,"transcript":"t","status":"done"})"));
    EXPECT_FALSE(
        parse(R"({"id":"6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6","createdAt":"2026-03-07T01:05:01.5Z",
        "duration":3,"transcript":"t"})"));
    EXPECT_FALSE(
        parse(R"({"id":"6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6","createdAt":"2026-03-07T01:05:01Z",
        "duration":"3","transcript":"t"})"));
    EXPECT_FALSE(
        parse(R"({"id":"6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6","createdAt":"2026-03-07T01:05:01Z",
        "duration":3,"transcript":null})"));
    EXPECT_FALSE(
        parse(R"({"id":"nope","createdAt":"2026-03-07T01:05:01Z","duration":3,"transcript":"t"})"));
    EXPECT_FALSE(
        parse(R"({"id":"6f1c2a7e-0b3d-4c5e-9f10-a1b2c3d4e5f6","createdAt":"2026-03-07T01:05:01Z",
        "duration":3,"transcript":"t","note":5})"));
}

} // namespace
} // namespace tovalit
