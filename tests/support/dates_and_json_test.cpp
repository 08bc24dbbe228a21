#include "support/iso8601.h"
#include "support/json_text.h"
#include "support/uuid_text.h"

#include <QJsonParseError>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using namespace Qt::StringLiterals;

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

TEST(Iso8601, WritesUtcWithWholeSecondsAndReadsOnlyTheStrictForm) {
    EXPECT_EQ(iso8601::formatUtcSeconds(utc(2026, 3, 7, 1, 5, 1, 999)),
              QStringLiteral("2026-03-07T01:05:01Z"));
    const QDateTime shanghai(QDate(2026, 3, 7), QTime(9, 5, 1), QTimeZone("Asia/Shanghai"));
    EXPECT_EQ(iso8601::formatUtcSeconds(shanghai), QStringLiteral("2026-03-07T01:05:01Z"));
    EXPECT_EQ(iso8601::formatUtcMilliseconds(utc(2026, 3, 7, 1, 5, 1, 42)),
              QStringLiteral("2026-03-07T01:05:01.042Z"));
    EXPECT_EQ(iso8601::formatUtcSeconds(utc(1969, 12, 31, 23, 59, 59, 500)),
              QStringLiteral("1969-12-31T23:59:59Z"));

    EXPECT_EQ(iso8601::parseStrict(u"2026-03-07T01:05:01Z"), utc(2026, 3, 7, 1, 5, 1));
    EXPECT_EQ(iso8601::parseStrict(u"2026-03-07T09:05:01+08:00"), utc(2026, 3, 7, 1, 5, 1));
    EXPECT_EQ(iso8601::parseStrict(u"2026-03-06T20:05:01-0500"), utc(2026, 3, 7, 1, 5, 1));
    for (const char16_t *refused :
         {u"2026-03-07T01:05:01.123Z", u"2026-03-07T01:05:01", u"2026-03-07 01:05:01Z",
          u"2026-02-30T01:05:01Z", u"2026-03-07T24:00:00Z", u"2026-03-07T01:05:01+8:00",
          u"2026-03-07T01:05:01z", u"2026-03-07", u"", u"2026-03-07T01:05:01Z ",
          u"２０２６-03-07T01:05:01Z"}) {
        EXPECT_FALSE(iso8601::parseStrict(refused).has_value())
            << QString::fromUtf16(refused).toStdString();
    }
}

TEST(UuidText, UpperForRecordsLowerForRequestsAndStrictParsing) {
    const QUuid id = QUuid::fromString(u"6f1e2a6c-0b1d-4b5e-9f3a-1234567890ab");
    EXPECT_EQ(uuidtext::upper(id), QStringLiteral("6F1E2A6C-0B1D-4B5E-9F3A-1234567890AB"));
    EXPECT_EQ(uuidtext::lower(id), QStringLiteral("6f1e2a6c-0b1d-4b5e-9f3a-1234567890ab"));
    EXPECT_EQ(uuidtext::parse(u"6F1E2A6C-0B1D-4B5E-9F3A-1234567890AB"), id);
    EXPECT_FALSE(uuidtext::parse(u"{6f1e2a6c-0b1d-4b5e-9f3a-1234567890ab}").has_value());
    EXPECT_FALSE(uuidtext::parse(u"6f1e2a6c0b1d4b5e9f3a1234567890ab").has_value());
    EXPECT_FALSE(uuidtext::parse(u"6f1e2a6c-0b1d-4b5e-9f3a-1234567890ag").has_value());
    EXPECT_NE(uuidtext::newUpper(), uuidtext::newUpper());
}

TEST(JsonText, WritesSortedKeysAndReadsMembersByType) {
    QJsonObject object{{QStringLiteral("zeta"), 1},
                       {QStringLiteral("alpha"), QStringLiteral("你好")}};
    json::insertIfPresent(object, QStringLiteral("absent"), std::nullopt);
    json::insertDate(object, QStringLiteral("createdAt"), utc(2026, 3, 7, 1, 5, 1));
    const QByteArray compact = json::compact(object);
    EXPECT_EQ(compact,
              QByteArray(R"({"alpha":"你好","createdAt":"2026-03-07T01:05:01Z","zeta":1})"));
    EXPECT_TRUE(json::pretty(object).contains('\n'));

    const auto parsed = json::parseObject(compact);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(json::string(*parsed, u"alpha"), QStringLiteral("你好"));
    EXPECT_FALSE(json::string(*parsed, u"zeta").has_value()) << "a number is not a string";
    EXPECT_EQ(json::integer(*parsed, u"zeta"), 1);
    EXPECT_EQ(json::date(*parsed, u"createdAt"), utc(2026, 3, 7, 1, 5, 1));

    const auto numbers = json::parseObject(R"({"half":1.5,"big":1e300,"neg":-3})");
    ASSERT_TRUE(numbers.has_value());
    EXPECT_FALSE(json::integer(*numbers, u"half").has_value());
    EXPECT_FALSE(json::integer(*numbers, u"big").has_value());
    EXPECT_EQ(json::integer(*numbers, u"neg"), -3);

    EXPECT_FALSE(json::parseObject("[1,2]").has_value());
    EXPECT_FALSE(json::parseObject("{\"a\":").has_value());
    EXPECT_FALSE(json::parseArray("{}").has_value());
}

// "\uD800" alone is well-formed JSON, but the string it makes cannot be
// written as UTF-8, sent over D-Bus or typed into a field; readers of
// outside JSON get U+FFFD in its place, in keys and values at any depth.
TEST(JsonText, UnpairedSurrogateEscapesReadAsReplacementCharacters) {
    const auto parsed =
        json::parseObject(R"({"a":"x\ud800y","\udc00k":[{"deep":"\uDFFF"}],"pair":"\ud83d\ude00",)"
                          R"("escaped":"\\ud800","end":"z\udbff"})");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(json::string(*parsed, u"a"), u"x\ufffdy"_qs);
    const QJsonArray nested = parsed->value(u"\ufffdk"_qs).toArray();
    ASSERT_EQ(nested.size(), 1);
    EXPECT_EQ(nested.at(0).toObject().value(u"deep").toString(), u"\ufffd"_qs);
    EXPECT_EQ(json::string(*parsed, u"pair"), u"\U0001F600"_qs) << "a pair is one character";
    EXPECT_EQ(json::string(*parsed, u"escaped"), u"\\ud800"_qs) << "not an escape";
    EXPECT_EQ(json::string(*parsed, u"end"), u"z\ufffd"_qs);

    const auto array = json::parseArray(R"(["\udc00\ud800", 1])");
    ASSERT_TRUE(array.has_value());
    EXPECT_EQ(array->at(0).toString(), u"\ufffd\ufffd"_qs);

    QJsonParseError error{};
    const QJsonDocument document = json::parse(R"({"a":"\ud800")", &error);
    EXPECT_NE(error.error, QJsonParseError::NoError) << "errors are reported as Qt reports them";
    EXPECT_TRUE(document.isNull());
    EXPECT_EQ(json::parse(R"(["\ud800"])").array().at(0).toString(), u"\ufffd"_qs);
}

} // namespace
} // namespace tovalit
