#pragma once

// Shared by the speech OpenAPI tests: a transport that talks plain http to
// the loopback stand-in, a reader for the requests the stand-in recorded,
// an independent signature check on the openssl command line, and a small
// stateful stand-in of the table service.

#include "models/volcengine_speech_open_api_configuration.h"
#include "support/network_http_transport.h"
#include "tests/support/stand_in_http_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QUrlQuery>

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace tovalit::testing {

// The access keys every request of these tests is signed with.
inline const VolcengineSpeechOpenAPIConfiguration openAPIKeys{QStringLiteral("AKLTtovalit-test"),
                                                              QStringLiteral("secret-access-key")};

// An OpenAPI error object; the service reads its message, not its code.
inline StandInHttpReply openAPIError(int status, const char *message) {
    return StandInHttpReply::json(
        status, QByteArray(R"({"ResponseMetadata":{"Error":{"Code":"InternalError","Message":")") +
                    message + R"("}}})");
}

// The service always signs https URLs; the stand-in speaks plain http on
// loopback, so this transport swaps the scheme and changes nothing else.
class PlainHttpTransport final : public HttpTransport {
public:
    QCoro::Task<HttpResponse> send(HttpRequest request) override {
        sentURLs.push_back(request.url);
        request.url.setScheme(QStringLiteral("http"));
        return m_network.send(std::move(request));
    }
    std::vector<QUrl> sentURLs;

private:
    NetworkHttpTransport m_network;
};

// One recorded OpenAPI call, taken apart.
struct OpenAPICall {
    QString action;
    QString version;
    QByteArray contentType;
    QJsonObject json;              // a JSON body
    QMap<QString, QString> fields; // the text fields of a multipart body
    QList<QString> fieldOrder;     // as they appear in the body
    std::optional<QString> fileName;
    std::optional<QByteArray> file; // the "File" part's bytes
    std::optional<QByteArray> fileContentType;
};

inline QByteArray between(const QByteArray &text, const QByteArray &start, char end) {
    const qsizetype from = text.indexOf(start);
    if (from < 0)
        return {};
    const qsizetype begin = from + start.size();
    return text.mid(begin, text.indexOf(end, begin) - begin);
}

// Reads a multipart body by its own rules (not by the code under test).
inline void readMultipart(const QByteArray &body, const QByteArray &boundary, OpenAPICall &call) {
    const QByteArray delimiter = "--" + boundary;
    const QByteArray separator = "\r\n" + delimiter;
    ASSERT_TRUE(body.startsWith(QByteArray(delimiter + "\r\n"))) << body.toStdString();
    ASSERT_TRUE(body.endsWith(QByteArray(separator + "--\r\n"))) << "closing delimiter missing";
    qsizetype position = delimiter.size() + 2;
    while (true) {
        const qsizetype next = body.indexOf(separator, position);
        ASSERT_GE(next, 0);
        const QByteArray part = body.mid(position, next - position);
        const qsizetype headerEnd = part.indexOf("\r\n\r\n");
        ASSERT_GE(headerEnd, 0) << part.toStdString();
        const QByteArray headers = part.left(headerEnd);
        const QByteArray content = part.mid(headerEnd + 4);
        const QString name = QString::fromUtf8(between(headers, "name=\"", '"'));
        if (headers.contains("filename=\"")) {
            call.fileName = QString::fromUtf8(between(headers, "filename=\"", '"'));
            call.file = content;
            call.fileContentType = between(headers + "\r\n", "Content-Type: ", '\r');
            EXPECT_EQ(name, QStringLiteral("File"));
        } else {
            call.fields.insert(name, QString::fromUtf8(content));
            call.fieldOrder.append(name);
        }
        position = next + separator.size();
        if (body.mid(position, 2) == "--")
            return;
        position += 2; // CRLF after the delimiter
    }
}

inline OpenAPICall readCall(const RecordedHttpRequest &request) {
    OpenAPICall call;
    const QUrlQuery query(QUrl(QStringLiteral("http://h") + QString::fromUtf8(request.target)));
    call.action = query.queryItemValue(QStringLiteral("Action"));
    call.version = query.queryItemValue(QStringLiteral("Version"));
    call.contentType = request.header("Content-Type").value_or(QByteArray());
    if (call.contentType.startsWith("multipart/form-data")) {
        readMultipart(request.body, between(call.contentType + ';', "boundary=", ';'), call);
    } else {
        call.json = QJsonDocument::fromJson(request.body).object();
    }
    return call;
}

inline QStringList actionsOf(const StandInHttpServer &server) {
    QStringList actions;
    for (const RecordedHttpRequest &request : server.requests())
        actions.append(readCall(request).action);
    return actions;
}

// --- An independent HMAC-SHA256 / SHA-256 on the openssl command line ------

inline bool opensslAvailable() {
    return !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty();
}

#define TOVALIT_REQUIRE_OPENSSL()                                                                  \
    do {                                                                                           \
        if (!::tovalit::testing::opensslAvailable()) {                                             \
            if (qEnvironmentVariable("TOVALIT_TEST_SESSION") == QLatin1String("1"))                \
                FAIL() << "the openssl command is missing (scripts/install-deps installs it)";     \
            GTEST_SKIP() << "the openssl command is missing";                                      \
        }                                                                                          \
    } while (false)

inline QByteArray runOpenssl(const QStringList &arguments, const QByteArray &input) {
    QProcess process;
    process.start(QStringLiteral("openssl"), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(20000) || process.exitCode() != 0) {
        ADD_FAILURE() << "openssl " << arguments.join(u' ').toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return {};
    }
    return process.readAllStandardOutput();
}

inline QByteArray opensslSha256Hex(const QByteArray &input) {
    // "-r" prints "<hex> *stdin".
    return runOpenssl({QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-r")},
                      input)
        .split(' ')
        .value(0);
}

inline QByteArray opensslHmac(const QByteArray &key, const QByteArray &message) {
    return runOpenssl({QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-mac"),
                       QStringLiteral("HMAC"), QStringLiteral("-macopt"),
                       QStringLiteral("hexkey:") + QString::fromLatin1(key.toHex()),
                       QStringLiteral("-binary")},
                      message);
}

// The signature of a string to sign, through the whole key chain.
inline QByteArray opensslSignature(const QByteArray &secret, const QByteArray &day,
                                   const QByteArray &stringToSign) {
    QByteArray key = opensslHmac(secret, day);
    key = opensslHmac(key, "cn-north-1");
    key = opensslHmac(key, "speech_saas_prod");
    key = opensslHmac(key, "request");
    return opensslHmac(key, stringToSign).toHex();
}

// Checks a request as the service would: rebuilds the signed texts from
// what arrived on the wire and recomputes the signature with openssl.
inline void expectValidSignature(const RecordedHttpRequest &request, const QByteArray &accessKeyID,
                                 const QByteArray &secret) {
    const QByteArray xDate = request.header("X-Date").value_or(QByteArray());
    const QByteArray day = xDate.left(8);
    const QByteArray scope = day + "/cn-north-1/speech_saas_prod/request";
    const QByteArray canonical =
        "POST\n" + request.path() + '\n' + request.target.mid(2) + '\n' +
        "content-type:" + request.header("Content-Type").value_or("") +
        "\nhost:" + request.header("Host").value_or("") +
        "\nx-content-sha256:" + request.header("X-Content-Sha256").value_or("<missing>") +
        "\nx-date:" + xDate + "\n\ncontent-type;host;x-content-sha256;x-date\n" +
        opensslSha256Hex(request.body);
    const QByteArray stringToSign =
        "HMAC-SHA256\n" + xDate + '\n' + scope + '\n' + opensslSha256Hex(canonical);
    EXPECT_EQ(request.header("Authorization"),
              "HMAC-SHA256 Credential=" + accessKeyID + '/' + scope +
                  ", SignedHeaders=content-type;host;x-content-sha256;x-date, Signature=" +
                  opensslSignature(secret, day, stringToSign));
}

// --- A stand-in of the table service ---------------------------------------

// Keeps boosting and correct tables in memory and answers the list,
// create, update and delete actions the way the service does. Scripted
// replies queued on `server` take precedence (for failures).
class StandInSpeechOpenAPI {
public:
    struct Table {
        bool boosting;
        QString id;
        QString name;
        QByteArray content;
    };

    StandInSpeechOpenAPI() {
        server.setHandler([this](const RecordedHttpRequest &request) { return answer(request); });
    }

    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(server.port()); }
    std::vector<OpenAPICall> calls() const {
        std::vector<OpenAPICall> parsed;
        for (const RecordedHttpRequest &request : server.requests())
            parsed.push_back(readCall(request));
        return parsed;
    }

    StandInHttpServer server;
    std::vector<Table> tables;

private:
    static StandInHttpReply result(const QJsonObject &result) {
        const QJsonObject reply{
            {QStringLiteral("ResponseMetadata"),
             QJsonObject{{QStringLiteral("RequestId"), QStringLiteral("stand-in")}}},
            {QStringLiteral("Result"), result}};
        return StandInHttpReply::json(200, QJsonDocument(reply).toJson(QJsonDocument::Compact));
    }

    StandInHttpReply answer(const RecordedHttpRequest &request) {
        const OpenAPICall call = readCall(request);
        const bool boosting = call.action.endsWith(QStringLiteral("BoostingTable"));
        const QString idKey =
            boosting ? QStringLiteral("BoostingTableID") : QStringLiteral("CorrectTableID");
        const QString nameKey =
            boosting ? QStringLiteral("BoostingTableName") : QStringLiteral("CorrectTableName");
        const QString sentIDKey = boosting ? idKey : QStringLiteral("TableID");
        const auto reference = [&](const Table &table) {
            return QJsonObject{{idKey, table.id}, {nameKey, table.name}};
        };
        const auto find = [&](const QString &id) {
            return std::find_if(tables.begin(), tables.end(), [&](const Table &table) {
                return table.boosting == boosting && table.id == id;
            });
        };

        if (call.action.startsWith(QStringLiteral("List"))) {
            QJsonArray listed;
            for (const Table &table : tables) {
                if (table.boosting == boosting)
                    listed.append(reference(table));
            }
            return result(
                {{boosting ? QStringLiteral("BoostingTables") : QStringLiteral("CorrectTables"),
                  listed}});
        }
        if (call.action.startsWith(QStringLiteral("Create"))) {
            const QString name =
                call.fields.value(boosting ? nameKey : QStringLiteral("TableName"));
            Table table{boosting,
                        QStringLiteral("%1-%2").arg(boosting ? "bt" : "ct").arg(++m_lastID), name,
                        call.file.value_or(QByteArray())};
            tables.push_back(table);
            return result(reference(table));
        }
        if (call.action.startsWith(QStringLiteral("Update"))) {
            const auto table = find(call.fields.value(sentIDKey));
            if (table == tables.end())
                return StandInHttpReply::json(
                    404, R"({"ResponseMetadata":{"Error":{"Message":"no such table"}}})");
            table->content = call.file.value_or(QByteArray());
            return result(reference(*table));
        }
        if (call.action.startsWith(QStringLiteral("Delete"))) {
            const auto table = find(call.json.value(sentIDKey).toString());
            if (table == tables.end())
                return StandInHttpReply::json(
                    404, R"({"ResponseMetadata":{"Error":{"Message":"no such table"}}})");
            tables.erase(table);
            return result({});
        }
        return StandInHttpReply::text(400, "unknown action");
    }

    int m_lastID = 0;
};

} // namespace tovalit::testing
