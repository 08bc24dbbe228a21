#pragma once

#include "models/gateway_lexicon_sync_configuration.h"
#include "models/personal_lexicon_cloud_state.h"
#include "models/personal_lexicon_snapshot.h"
#include "models/volcengine_speech_open_api_configuration.h"
#include "services/learning/volcengine_speech_lexicon_sync_error.h"
#include "support/clock.h"
#include "support/http_transport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

// Keeps the speech service's two remote tables in step with the personal
// lexicon: a boosting table for the hot words and a correct table for the
// replacements, over signed OpenAPI requests (or through the gateway when
// one is configured). Made for one synchronisation and then dropped; holds
// nothing that changes.
//
// Every operation copies the service into its coroutine, so the returned
// task never refers to the object it was called on.
class VolcengineSpeechLexiconSyncService {
public:
    // A remote table as the service knows it.
    struct TableReference {
        QString id;
        QString name;

        bool operator==(const TableReference &) const = default;
    };

    // Makes the multipart boundary of one request.
    using BoundaryGenerator = std::function<QString()>;

    // `session` sends every request (the process's shared network transport
    // when null). `openAPIHost` is the OpenAPI host[:port]; requests fail
    // like a transport error while it is empty or unusable. The clock signs
    // the requests.
    VolcengineSpeechLexiconSyncService(
        std::optional<VolcengineSpeechOpenAPIConfiguration> configuration,
        std::optional<GatewayLexiconSyncConfiguration> gatewayConfiguration,
        std::shared_ptr<HttpTransport> session, QString openAPIHost,
        Clock nowProvider = systemClock(), BoundaryGenerator makeBoundary = defaultBoundary);

    const std::optional<VolcengineSpeechOpenAPIConfiguration> &configuration() const {
        return m_configuration;
    }
    const std::optional<GatewayLexiconSyncConfiguration> &gatewayConfiguration() const {
        return m_gatewayConfiguration;
    }

    // --- Synchronisation ---------------------------------------------------------

    // Brings the lexicon's remote tables in line with `snapshot` and returns
    // it with a usable sync namespace, the tables in use, the time of the
    // attempt, the first failure's text (or none) and every entry's cloud
    // status. Through the gateway when one is configured, else directly
    // with the access key pair and `speechAppID` (a positive decimal
    // integer, taken as it stands). Never throws: every problem ends up in
    // the returned snapshot.
    QCoro::Task<PersonalLexiconSnapshot> sync(PersonalLexiconSnapshot snapshot,
                                              QString speechAppID) const;
    // The gateway keeps the speech service's tables itself: the whole set of
    // synchronised entries goes there in one request, and its answer names
    // the tables now in effect. Never throws.
    QCoro::Task<PersonalLexiconSnapshot>
    syncViaManagedGateway(PersonalLexiconSnapshot snapshot,
                          GatewayLexiconSyncConfiguration gatewayConfiguration) const;

    static QString hotwordTableName(const QString &syncNamespace);
    static QString replacementTableName(const QString &syncNamespace);
    // The sync did not happen: the message is stored and the entries that
    // would have gone to the cloud are local only; the tables and the time
    // of the last sync stay as they were.
    static PersonalLexiconSnapshot markLocalOnly(PersonalLexiconSnapshot snapshot,
                                                 std::optional<QString> errorMessage);
    // An optional sign and decimal digits, nothing else, within 64 bits.
    static std::optional<qint64> parseAppID(QStringView speechAppID);

    // --- Boosting table (hot words) ------------------------------------------
    // All of these throw VolcengineSpeechLexiconSyncError, the transport's
    // HttpTransportError, or JsonReplyParseError for a 2xx body that is not
    // JSON, unchanged.

    // The first page of the application's boosting tables (at most 100), in
    // the reply's order; listed tables without a string id and name are
    // skipped.
    QCoro::Task<QList<TableReference>>
    listHotwordTables(qint64 appID, VolcengineSpeechOpenAPIConfiguration configuration) const;
    // The listed table with the preferred id and the name, else the first
    // one with the name.
    QCoro::Task<std::optional<TableReference>>
    resolveHotwordTable(qint64 appID, std::optional<QString> preferredTableID, QString tableName,
                        VolcengineSpeechOpenAPIConfiguration configuration) const;
    QCoro::Task<TableReference>
    createHotwordTable(qint64 appID, QString tableName, QString content,
                       VolcengineSpeechOpenAPIConfiguration configuration) const;
    // Replaces the whole content of `table` (only its id is sent).
    QCoro::Task<TableReference>
    updateHotwordTable(qint64 appID, TableReference table, QString content,
                       VolcengineSpeechOpenAPIConfiguration configuration) const;
    // Deletes the stored table when it is this lexicon's (a stored id that is
    // not blank and a stored name equal to `tableName`); returns the cloud
    // state with the table forgotten. A failed delete forgets nothing.
    QCoro::Task<PersonalLexiconCloudState>
    deleteHotwordTableIfNeeded(qint64 appID, QString tableName,
                               PersonalLexiconCloudState cloudState,
                               VolcengineSpeechOpenAPIConfiguration configuration) const;
    // Updates the table this lexicon already has, or creates it, so that it
    // holds exactly `lines`; recovers once when a create finds the name
    // taken.
    QCoro::Task<TableReference>
    ensureHotwordTable(qint64 appID, QStringList lines, QString tableName,
                       PersonalLexiconCloudState cloudState,
                       VolcengineSpeechOpenAPIConfiguration configuration) const;
    static TableReference parseHotwordTableReference(const QJsonObject &reply);
    // The tables of a list reply; none unless every listed row is an object.
    static QList<TableReference> parseHotwordTableList(const QJsonObject &reply);

    // --- Correct table (replacements) ----------------------------------------

    QCoro::Task<QList<TableReference>>
    listReplacementTables(qint64 appID, VolcengineSpeechOpenAPIConfiguration configuration) const;
    QCoro::Task<std::optional<TableReference>>
    resolveReplacementTable(qint64 appID, std::optional<QString> preferredTableID,
                            QString tableName,
                            VolcengineSpeechOpenAPIConfiguration configuration) const;
    QCoro::Task<TableReference>
    createReplacementTable(qint64 appID, QString tableName, QString content,
                           VolcengineSpeechOpenAPIConfiguration configuration) const;
    QCoro::Task<TableReference>
    updateReplacementTable(qint64 appID, TableReference table, QString content,
                           VolcengineSpeechOpenAPIConfiguration configuration) const;
    QCoro::Task<PersonalLexiconCloudState>
    deleteReplacementTableIfNeeded(qint64 appID, QString tableName,
                                   PersonalLexiconCloudState cloudState,
                                   VolcengineSpeechOpenAPIConfiguration configuration) const;
    QCoro::Task<TableReference>
    ensureReplacementTable(qint64 appID, QStringList lines, QString tableName,
                           PersonalLexiconCloudState cloudState,
                           VolcengineSpeechOpenAPIConfiguration configuration) const;
    static TableReference parseReplacementTableReference(const QJsonObject &reply);
    static QList<TableReference> parseReplacementTableList(const QJsonObject &reply);

    // --- Shared by both tables -----------------------------------------------

    // The reply's "Result" object; throws invalidResponse without one.
    static QJsonObject resultObject(const QJsonObject &reply);
    // A request the service refused because the table name is taken.
    static bool isDuplicateTableNameError(const std::exception_ptr &error);

    // --- Signed transport ------------------------------------------------------

    // Sends the payload as compact JSON and returns the reply's top-level
    // object.
    QCoro::Task<QJsonObject>
    performJSONRequest(QString action, QString version, QJsonObject payload,
                       VolcengineSpeechOpenAPIConfiguration configuration) const;
    // Sends text form fields and one text file ("File") as multipart form
    // data with a fresh boundary.
    QCoro::Task<QJsonObject>
    performMultipartRequest(QString action, QString version, QMap<QString, QString> formFields,
                            QString fileName, QString fileContent,
                            VolcengineSpeechOpenAPIConfiguration configuration) const;
    // Sends a signed request and checks the reply: a status outside 2xx, or
    // an error object inside "ResponseMetadata", is requestFailed; a body
    // that is a JSON array is invalidResponse.
    QCoro::Task<QJsonObject> perform(HttpRequest request) const;
    // Those checks on a reply that arrived: its top-level object, or the
    // error it stands for.
    static QJsonObject checkedReply(const HttpResponse &response);

    // The best explanation in an error reply: the service's own error
    // message, else the body as text, else "未知错误".
    static QString serverMessage(QByteArrayView body);
    // Form fields in ascending name order, then the file part, then the
    // closing delimiter; texts inserted unchanged, CRLF line ends.
    static QByteArray makeMultipartBody(const QString &boundary,
                                        const QMap<QString, QString> &formFields,
                                        const QString &fileName, const QString &fileContent);
    // "Boundary-" and a fresh upper-case UUID.
    static QString defaultBoundary();

private:
    static QCoro::Task<PersonalLexiconSnapshot> runSync(VolcengineSpeechLexiconSyncService service,
                                                        PersonalLexiconSnapshot snapshot,
                                                        QString speechAppID);
    static QCoro::Task<PersonalLexiconSnapshot>
    runManagedGatewaySync(VolcengineSpeechLexiconSyncService service,
                          PersonalLexiconSnapshot snapshot,
                          GatewayLexiconSyncConfiguration gatewayConfiguration);

    std::optional<VolcengineSpeechOpenAPIConfiguration> m_configuration;
    std::optional<GatewayLexiconSyncConfiguration> m_gatewayConfiguration;
    std::shared_ptr<HttpTransport> m_session;
    QString m_openAPIHost;
    Clock m_nowProvider;
    BoundaryGenerator m_makeBoundary;
};

} // namespace tovalit
