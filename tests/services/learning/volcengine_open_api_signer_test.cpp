#include "services/learning/volcengine_open_api_signer.h"
#include "tests/services/learning/open_api_test_kit.h"
#include "tests/support/qt_printers.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace tovalit {
namespace {

using testing::opensslSha256Hex;
using testing::opensslSignature;

const VolcengineSpeechOpenAPIConfiguration keys{QStringLiteral("AKLTtovalit-test"),
                                                QStringLiteral("c2VjcmV0/密钥+key")};
const QString jsonType = QStringLiteral("application/json; charset=utf-8");

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

Clock fixedClock(QDateTime instant, int *calls = nullptr) {
    return [instant, calls] {
        if (calls)
            ++*calls;
        return instant;
    };
}

QByteArray headerValue(const HttpRequest &request, QByteArrayView name) {
    for (const auto &[key, value] : request.headers) {
        if (key == name)
            return value;
    }
    return "<missing>";
}

TEST(VolcengineOpenAPISigner, SignsTheCanonicalRequestThroughTheDayRegionServiceKeyChain) {
    TOVALIT_REQUIRE_OPENSSL();
    // A local offset and a fraction of a second: X-Date is the UTC second.
    const QDateTime instant = utc(2026, 3, 7, 1, 5, 1, 750).toOffsetFromUtc(8 * 3600);
    int clockReads = 0;
    const VolcengineOpenAPISigner signer(keys, QStringLiteral("open.volcengineapi.test"),
                                         fixedClock(instant, &clockReads));
    const QByteArray body = R"({"Action":"ListBoostingTable","AppID":42})";

    const HttpRequest request = signer.signedRequest(QStringLiteral("ListBoostingTable"),
                                                     QStringLiteral("2022-08-30"), body, jsonType);
    EXPECT_EQ(clockReads, 1);

    // Written out line by line, independently of the signer.
    const QByteArray expectedCanonical = "POST\n"
                                         "/\n"
                                         "Action=ListBoostingTable&Version=2022-08-30\n"
                                         "content-type:application/json; charset=utf-8\n"
                                         "host:open.volcengineapi.test\n"
                                         "x-content-sha256:\n"
                                         "x-date:20260307T010501Z\n"
                                         "\n"
                                         "content-type;host;x-content-sha256;x-date\n" +
                                         opensslSha256Hex(body);
    EXPECT_EQ(signer.canonicalRequest(QStringLiteral("ListBoostingTable"),
                                      QStringLiteral("2022-08-30"), body, jsonType, instant),
              expectedCanonical);
    const QByteArray expectedStringToSign = "HMAC-SHA256\n"
                                            "20260307T010501Z\n"
                                            "20260307/cn-north-1/speech_saas_prod/request\n" +
                                            opensslSha256Hex(expectedCanonical);
    EXPECT_EQ(signer.stringToSign(QStringLiteral("ListBoostingTable"), QStringLiteral("2022-08-30"),
                                  body, jsonType, instant),
              expectedStringToSign);

    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url.toString(QUrl::FullyEncoded),
              QStringLiteral(
                  "https://open.volcengineapi.test/?Action=ListBoostingTable&Version=2022-08-30"));
    EXPECT_EQ(request.body, body);
    EXPECT_EQ(request.timeout, std::chrono::seconds(30));
    ASSERT_EQ(request.headers.size(), 4);
    EXPECT_EQ(request.headers[0].first, "Content-Type");
    EXPECT_EQ(request.headers[1].first, "X-Date");
    EXPECT_EQ(request.headers[2].first, "X-Content-Sha256");
    EXPECT_EQ(request.headers[3].first, "Authorization");
    EXPECT_EQ(request.headers[0].second, jsonType.toUtf8()) << "signed and sent exactly as given";
    EXPECT_EQ(request.headers[1].second, "20260307T010501Z");
    EXPECT_TRUE(request.headers[2].second.isEmpty()) << "sent empty, not as the payload hash";
    EXPECT_FALSE(request.headers[2].second.isNull()) << "a null value would drop the header";
    EXPECT_EQ(
        request.headers[3].second,
        "HMAC-SHA256 Credential=AKLTtovalit-test/20260307/cn-north-1/speech_saas_prod/"
        "request, SignedHeaders=content-type;host;x-content-sha256;x-date, Signature=" +
            opensslSignature(keys.secretAccessKey.toUtf8(), "20260307", expectedStringToSign));
}

TEST(VolcengineOpenAPISigner, ReadsTheClockOnceSoTheScopeDayAlwaysMatchesXDate) {
    TOVALIT_REQUIRE_OPENSSL();
    // A clock that ticks past midnight between two reads would split one
    // request across two days.
    QList<QDateTime> ticks{utc(2026, 3, 7, 23, 59, 59, 999), utc(2026, 3, 8, 0, 0, 0)};
    int reads = 0;
    const VolcengineOpenAPISigner signer(keys, QStringLiteral("open.volcengineapi.test"),
                                         [&] { return ticks.value(reads++, ticks.last()); });
    const HttpRequest late = signer.signedRequest(QStringLiteral("ListCorrectTable"),
                                                  QStringLiteral("2023-10-30"), {}, jsonType);
    const HttpRequest early = signer.signedRequest(QStringLiteral("ListCorrectTable"),
                                                   QStringLiteral("2023-10-30"), {}, jsonType);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(headerValue(late, "X-Date"), "20260307T235959Z");
    EXPECT_TRUE(headerValue(late, "Authorization").contains("/20260307/cn-north-1/"));
    EXPECT_EQ(headerValue(early, "X-Date"), "20260308T000000Z");
    EXPECT_TRUE(headerValue(early, "Authorization").contains("/20260308/cn-north-1/"));

    // An empty body still signs the hash of empty input as the last line.
    const QByteArray canonical =
        signer.canonicalRequest(QStringLiteral("ListCorrectTable"), QStringLiteral("2023-10-30"),
                                {}, jsonType, utc(2026, 3, 8, 0, 0, 0));
    EXPECT_TRUE(canonical.endsWith(QByteArray("\n" + opensslSha256Hex({}))));
    EXPECT_EQ(canonical.count('\n'), 9);
}

TEST(VolcengineOpenAPISigner, SameInputsGiveIdenticalRequestsInAnyLocale) {
    const QDateTime instant = utc(2026, 11, 30, 9, 8, 7);
    const VolcengineOpenAPISigner signer(keys, QStringLiteral("open.volcengineapi.test"),
                                         fixedClock(instant));
    const auto sign = [&] {
        return signer.signedRequest(
            QStringLiteral("CreateBoostingTable"), QStringLiteral("2022-08-30"), "a|4",
            QStringLiteral("multipart/form-data; boundary=B; charset=utf-8"));
    };
    const HttpRequest first = sign();

    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt)); // other digits
    const HttpRequest second = sign();
    const QString stamp = VolcengineOpenAPISigner::timestamp(instant);
    QLocale::setDefault(previous);

    EXPECT_EQ(stamp, QStringLiteral("20261130T090807Z"));
    EXPECT_EQ(first.url, second.url);
    EXPECT_EQ(first.headers, second.headers);
    EXPECT_EQ(first.body, second.body);
}

TEST(VolcengineOpenAPISigner, AMissingOrUnusableHostFailsLikeATransportErrorInsteadOfCrashing) {
    for (const QString &host :
         {QString(), QStringLiteral("https://open.volcengineapi.test"),
          QStringLiteral("open.volcengineapi.test/path"), QStringLiteral("open volcengine"),
          QStringLiteral("open.volcengineapi.test\r\nX-Evil: 1"), QStringLiteral("user@host"),
          QStringLiteral("host:notaport"), QStringLiteral("host?Action=x")}) {
        const VolcengineOpenAPISigner signer(keys, host, fixedClock(utc(2026, 1, 1, 0, 0, 0)));
        try {
            signer.signedRequest(QStringLiteral("ListBoostingTable"), QStringLiteral("2022-08-30"),
                                 "{}", jsonType);
            ADD_FAILURE() << "signed for host " << host.toStdString();
        } catch (const HttpTransportError &error) {
            EXPECT_EQ(error.kind(), HttpTransportError::Kind::InvalidRequest);
            EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("OpenAPI 主机")))
                << error.what();
        }
    }

    // A port is allowed, and the host goes on the wire in the form QUrl
    // sends it, so the signed "host:" line matches the Host header.
    const VolcengineOpenAPISigner withPort(keys, QStringLiteral("Open.VolcengineAPI.test:8443"),
                                           fixedClock(utc(2026, 1, 1, 0, 0, 0)));
    const HttpRequest request = withPort.signedRequest(
        QStringLiteral("ListBoostingTable"), QStringLiteral("2022-08-30"), "{}", jsonType);
    EXPECT_EQ(request.url.authority(), QStringLiteral("open.volcengineapi.test:8443"));
    EXPECT_TRUE(withPort
                    .canonicalRequest(QStringLiteral("ListBoostingTable"),
                                      QStringLiteral("2022-08-30"), "{}", jsonType,
                                      utc(2026, 1, 1, 0, 0, 0))
                    .contains("\nhost:open.volcengineapi.test:8443\n"));
}

} // namespace
} // namespace tovalit
