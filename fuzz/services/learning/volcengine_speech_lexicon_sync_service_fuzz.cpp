// Replies of the speech service's OpenAPI to the table operations: the
// status and error checks every reply goes through, then the list, create
// and update readers of both table families. Tables that read must read
// the same from the plainest reply listing them.

#include "fuzz_checks.h"
#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "support/app_error.h"
#include "support/json_text.h"

#include <QJsonArray>
#include <QJsonObject>

#include <fuzzer/FuzzedDataProvider.h>

using namespace tovalit;
using Service = VolcengineSpeechLexiconSyncService;
using TableReference = Service::TableReference;

namespace {

template <typename Read>
void readOrFail(Read read) {
    try {
        read();
    } catch (const AppError &error) {
        fuzz::requireValidUtf16(error.localizedDescription(), "error description");
    }
}

void checkTables(const QList<TableReference> &tables, QStringView arrayKey, QStringView idKey,
                 QStringView nameKey, QList<TableReference> (*parse)(const QJsonObject &)) {
    QJsonArray rows;
    for (const TableReference &table : tables) {
        fuzz::requireValidUtf16(table.id, "table id");
        fuzz::requireValidUtf16(table.name, "table name");
        rows.append(QJsonObject{{idKey.toString(), table.id}, {nameKey.toString(), table.name}});
    }
    const QJsonObject plain{{QStringLiteral("Result"), QJsonObject{{arrayKey.toString(), rows}}}};
    FUZZ_CHECK(parse(plain) == tables);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    HttpResponse response;
    response.status = input.PickValueInArray({200, 200, 200, 201, 400, 403, 500, 0});
    response.body = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    fuzz::requireValidUtf16(Service::serverMessage(response.body), "server message");
    QJsonObject reply;
    try {
        reply = Service::checkedReply(response);
    } catch (const AppError &error) {
        fuzz::requireValidUtf16(error.localizedDescription(), "error description");
        return 0;
    }
    readOrFail([&] {
        checkTables(Service::parseHotwordTableList(reply), u"BoostingTables", u"BoostingTableID",
                    u"BoostingTableName", &Service::parseHotwordTableList);
    });
    readOrFail([&] {
        checkTables(Service::parseReplacementTableList(reply), u"CorrectTables", u"CorrectTableID",
                    u"CorrectTableName", &Service::parseReplacementTableList);
    });
    readOrFail([&] {
        const TableReference table = Service::parseHotwordTableReference(reply);
        fuzz::requireValidUtf16(table.id, "table id");
        fuzz::requireValidUtf16(table.name, "table name");
    });
    readOrFail([&] {
        const TableReference table = Service::parseReplacementTableReference(reply);
        fuzz::requireValidUtf16(table.id, "table id");
        fuzz::requireValidUtf16(table.name, "table name");
    });
    return 0;
}
