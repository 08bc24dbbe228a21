#include "services/meeting/meeting_live_transcript.h"
#include "services/meeting/meeting_transcript_follower.h"
#include "tests/services/meeting/meeting_test_support.h"

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;
using namespace meetingtest;
using namespace MeetingLiveTranscript;

QString repeated(const QString &piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// "live:" or "final:" and the text of each segment.
std::vector<std::string> described(const QList<MeetingASRSegment> &segments) {
    std::vector<std::string> result;
    for (const MeetingASRSegment &segment : segments)
        result.push_back((segment.isLive ? "live:" : "final:") + u8(segment.text));
    return result;
}

TEST(MeetingTranscriptIncrement, FollowsGrowthRevisionAndShortening) {
    EXPECT_EQ(u8(meetingTranscriptIncrement(u"今天开会。"_s, u"今天开会。讨论预算"_s)), "讨论预算");
    EXPECT_EQ(u8(meetingTranscriptIncrement(u"今天开会。"_s, u"今天开会。 \n 讨论预算 "_s)),
              "讨论预算")
        << "the new part is trimmed";
    EXPECT_EQ(u8(meetingTranscriptIncrement(u"讨论预算和人员"_s, u"讨论预算"_s)), "")
        << "a shortened text adds nothing";
    EXPECT_EQ(u8(meetingTranscriptIncrement(u"ABCD"_s, u"ABXDE"_s)), "XDE");
    EXPECT_EQ(u8(meetingTranscriptIncrement(u"完全不同"_s, u"另一段话"_s)), "另一段话");
    EXPECT_EQ(u8(meetingTranscriptIncrement(u""_s, u"  开场 "_s)), "开场");
    EXPECT_EQ(u8(meetingTranscriptIncrement(u"开场"_s, u"  "_s)), "");
    EXPECT_EQ(u8(meetingTranscriptIncrement(u" 开场"_s, u"开场 "_s)), "") << "equal once trimmed";

    // Characters, not UTF-16 units: an emoji whose modifier changed is
    // sent again whole, not from the middle of its pair.
    EXPECT_EQ(u8(meetingTranscriptIncrement(u"好👍🏻收到"_s, u"好👍🏿收到了"_s)),
              "👍🏿收到了");
}

TEST(MeetingTranscriptIncrement, MergesIntoThePendingText) {
    EXPECT_EQ(u8(mergedMeetingIncrementalText(u"甲"_s, u"乙"_s)), "甲\n乙");
    EXPECT_EQ(u8(mergedMeetingIncrementalText(u""_s, u"乙"_s)), "乙");
    EXPECT_EQ(u8(mergedMeetingIncrementalText(u"甲"_s, u""_s)), "甲");
    EXPECT_EQ(u8(mergedMeetingIncrementalText(u" 甲\n"_s, u"\t乙 "_s)), "甲\n乙");
}

TEST(MeetingRawSegments, SentencesGatherIntoSegmentsOfBoundedLength) {
    EXPECT_EQ(described(buildMeetingASRSegments(u"第一句。第二句！第三"_s)),
              std::vector<std::string>{"live:第一句。\n第二句！\n第三"});
    EXPECT_TRUE(buildMeetingASRSegments(u" \r\n "_s).isEmpty());

    // 70 + 1 + 60 would pass 120: the first sentence closes a segment.
    const QString first = repeated(u"甲"_s, 69) + u"。"_s;
    const QString second = repeated(u"乙"_s, 59) + u"？"_s;
    const QString third = repeated(u"丙"_s, 29) + u"；"_s;
    EXPECT_EQ(
        described(buildMeetingASRSegments(first + second + third)),
        (std::vector<std::string>{"final:" + u8(first), "live:" + u8(second) + "\n" + u8(third)}));

    // 60 + 1 + 59 is exactly 120 and joins; one more character would not.
    const QString sixty = repeated(u"子"_s, 59) + u"!"_s;
    const QString fiftyNine = repeated(u"丑"_s, 58) + u"?"_s;
    const QString one = u"寅"_s;
    EXPECT_EQ(
        described(buildMeetingASRSegments(sixty + fiftyNine + u"\n"_s + one)),
        (std::vector<std::string>{"final:" + u8(sixty + u"\n"_s + fiftyNine), "live:" + u8(one)}));

    // A long sentence stands alone, and closes at once: a text ending with
    // one has no live tail. Text without any end is one live segment
    // however long.
    const QString longSentence = repeated(u"长"_s, 150) + u"。"_s;
    EXPECT_EQ(described(buildMeetingASRSegments(u"短句。"_s + longSentence)),
              (std::vector<std::string>{"final:短句。", "final:" + u8(longSentence)}));
    EXPECT_EQ(described(buildMeetingASRSegments(longSentence + u"尾巴"_s)),
              (std::vector<std::string>{"final:" + u8(longSentence), "live:尾巴"}));
    const QList<MeetingASRSegment> unbroken =
        buildMeetingASRSegments(repeated(u"无"_s, 200) + u"，还有. 逗号"_s);
    ASSERT_EQ(unbroken.size(), 1);
    EXPECT_TRUE(unbroken[0].isLive) << "comma and full stop end nothing";
    EXPECT_EQ(unbroken[0].text.size(), 207);
    EXPECT_EQ(described(buildMeetingASRSegments(u"短句。"_s + repeated(u"无"_s, 200))),
              (std::vector<std::string>{"final:短句。", "live:" + u8(repeated(u"无"_s, 200))}));
}

TEST(MeetingRawSegments, LineBreaksEndSentencesAndEverySegmentIsNew) {
    EXPECT_EQ(described(buildMeetingASRSegments(u"第一段\r\n第二段"_s)),
              described(buildMeetingASRSegments(u"第一段\n第二段"_s)));
    EXPECT_EQ(described(buildMeetingASRSegments(u"第一段\r\n\r\n  第二段\n"_s)),
              std::vector<std::string>{"live:第一段\n第二段"})
        << "blank sentences are skipped";

    const QString text = repeated(repeated(u"话"_s, 49) + u"。"_s, 6);
    const QList<MeetingASRSegment> first = buildMeetingASRSegments(text);
    const QList<MeetingASRSegment> again = buildMeetingASRSegments(text);
    ASSERT_EQ(first.size(), 3);
    QSet<QUuid> ids;
    for (const auto &segments : {first, again}) {
        for (const MeetingASRSegment &segment : segments)
            ids.insert(segment.id);
    }
    EXPECT_EQ(ids.size(), 6);
}

// A meeting reads one transcript after another; what it keeps from the
// last one must never change the result.
TEST(MeetingTranscriptFollowerTest,
     ReadingEachTranscriptAfterTheLastGivesWhatReadingItAfreshGives) {
    QRandomGenerator random(11);
    const QStringList words{u"预算"_s,    u"招聘节奏"_s, u"灰度"_s,     u"abc "_s, u"，"_s,
                            u"。"_s,      u"？"_s,       u"!"_s,        u"\n"_s,   u"\r\n"_s,
                            u"e\u0301"_s, u"\u0301"_s,   u"👍🏻"_s, u"  "_s};
    const auto spoken = [&](int count) {
        QString text;
        for (int index = 0; index < count; ++index) {
            // Long runs without an end reach the segment limits.
            text += random.bounded(4) == 0 ? repeated(u"长"_s, random.bounded(90))
                                           : words.at(random.bounded(int(words.size())));
        }
        return text;
    };
    MeetingTranscriptFollower follower;
    QString previous;
    QString transcript;
    for (int step = 0; step < 3000; ++step) {
        switch (random.bounded(8)) {
        case 0:
            // The recogniser revises its last words.
            transcript.chop(std::min<qsizetype>(transcript.size(), random.bounded(8)));
            transcript += spoken(random.bounded(3));
            break;
        case 1:
            // A revision far back: a sentence end becomes a comma.
            if (const qsizetype end =
                    transcript.indexOf(u"。"_s, random.bounded(int(transcript.size() + 1)));
                end >= 0) {
                transcript[end] = u'，';
            }
            break;
        case 2:
            if (random.bounded(20) == 0)
                transcript = u"  "_s;
            break;
        default:
            transcript += spoken(1);
            break;
        }
        if (transcript.size() > 3000)
            transcript = transcript.right(1500);
        ASSERT_EQ(u8(follower.increment(previous, transcript)),
                  u8(meetingTranscriptIncrement(previous, transcript)))
            << step;
        ASSERT_EQ(described(follower.segments(transcript)),
                  described(buildMeetingASRSegments(transcript)))
            << step;
        previous = transcript;
    }
}

TEST(MeetingTranscriptFollowerTest, AMarkAfterASentenceEndUndoesTheEnd) {
    MeetingTranscriptFollower follower;
    EXPECT_EQ(described(follower.segments(u"第一句。第二句。"_s)),
              std::vector<std::string>{"live:第一句。\n第二句。"});
    // "。" with a mark is one character, and no sentence end.
    EXPECT_EQ(described(follower.segments(u"第一句。第二句。\u0301接着"_s)),
              std::vector<std::string>{"live:第一句。\n第二句。\u0301接着"});
    const QList<MeetingASRSegment> first = follower.segments(u"一。二。"_s);
    const QList<MeetingASRSegment> again = follower.segments(u"一。二。"_s);
    EXPECT_NE(first[0].id, again[0].id) << "every reading mints new identifiers";
}

} // namespace
} // namespace tovalit
