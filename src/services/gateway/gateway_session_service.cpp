#include "services/gateway/gateway_session_service.h"

#include "platform/bundle_values.h"
#include "platform/linux/plist_bundle_values.h"
#include "services/gateway/gateway_client.h"
#include "services/gateway/gateway_url.h"
#include "services/settings/app_configuration_store.h"
#include "support/json_text.h"
#include "support/network_http_transport.h"
#include "support/textkit.h"

#include <QSysInfo>
#include <QUuid>

namespace tovalit {

namespace {

// An access token with this little life left is treated as expired, so a
// call that starts now does not fail half-way.
constexpr double accessTokenGraceSeconds = 60;
// Below this the refresh token is not worth a refresh request.
constexpr double refreshTokenGraceSeconds = 120;

QString stringOr(const QVariantMap &info, const QString &key, const QString &fallback) {
    const QVariant value = info.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : fallback;
}

} // namespace

GatewaySessionService::GatewaySessionService(AppConfigurationStore &configurationStore,
                                             KeychainStore keychainStore,
                                             const BundleValues *bundle, Clock currentDate,
                                             ClientFactory clientFactory)
    : m_configurationStore(configurationStore)
    , m_keychainStore(std::move(keychainStore))
    , m_bundle(bundle ? *bundle : PlistBundleValues::mainBundle())
    , m_currentDate(std::move(currentDate))
    , m_clientFactory(std::move(clientFactory)) {}

GatewaySessionService::ClientFactory GatewaySessionService::defaultClientFactory() {
    auto transport = std::make_shared<std::shared_ptr<NetworkHttpTransport>>();
    return [transport](const QUrl &baseURL) {
        if (!*transport)
            *transport = std::make_shared<NetworkHttpTransport>();
        return std::make_shared<GatewayClient>(baseURL, *transport);
    };
}

bool GatewaySessionService::isAvailable() const {
    return m_configurationStore.gatewayBaseURL().has_value();
}

QCoro::Task<std::optional<GatewaySession>> GatewaySessionService::gatewaySession() {
    const auto baseURL = m_configurationStore.gatewayBaseURL();
    if (!baseURL)
        co_return std::nullopt;
    const QDateTime now = m_currentDate();

    const std::optional<GatewaySession> stored = co_await loadStoredSession();
    if (stored && stored->hasUsableAccessToken(now, accessTokenGraceSeconds) &&
        isValidated(*stored, *baseURL)) {
        co_return stored;
    }

    const AppMetadata metadata = appMetadata();
    const std::shared_ptr<GatewayClient> client = m_clientFactory(*baseURL);

    if (stored && stored->hasUsableRefreshToken(now, refreshTokenGraceSeconds)) {
        bool refreshFailed = false;
        try {
            // Built as a named value: GCC 12 destroys a braced temporary
            // inside a co_await expression twice.
            GatewayRefreshRequest request{stored->refreshToken, metadata.appVersion,
                                          metadata.buildNumber, metadata.locale,
                                          metadata.platformVersion};
            const GatewaySession refreshed = co_await client->refreshSession(std::move(request));
            co_await storeSession(refreshed);
            markValidated(refreshed, *baseURL);
            co_return refreshed;
        } catch (...) {
            // A rejected or unreachable refresh is not the caller's problem:
            // the session is dropped and the device registers again below.
            refreshFailed = true;
        }
        if (refreshFailed) {
            try {
                co_await clearStoredSession();
            } catch (...) {
            }
            clearValidationState();
        }
    }

    if (stored && stored->hasUsableAccessToken(now, accessTokenGraceSeconds)) {
        markValidated(*stored, *baseURL);
        co_return stored;
    }

    const QString deviceID = co_await loadOrCreateDeviceID();
    GatewayRegistrationRequest request{deviceID,
                                       QStringLiteral("Tovalit"),
                                       QStringLiteral("macOS"),
                                       metadata.platformVersion,
                                       metadata.appVersion,
                                       metadata.buildNumber,
                                       metadata.locale};
    const GatewaySession registered = co_await client->registerDevice(std::move(request));
    co_await storeSession(registered);
    markValidated(registered, *baseURL);
    co_return registered;
}

QCoro::Task<std::optional<VellupSpeechConfiguration>>
GatewaySessionService::speechConfiguration(QString localeIdentifier) {
    const auto baseURL = m_configurationStore.gatewayBaseURL();
    if (!baseURL)
        co_return std::nullopt;
    const auto session = co_await gatewaySession();
    if (!session)
        co_return std::nullopt;
    co_return VellupSpeechConfiguration{QString(),        QString(), QString(),           QString(),
                                        localeIdentifier, *baseURL,  session->accessToken};
}

QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
GatewaySessionService::formatterConfiguration() {
    const auto baseURL = m_configurationStore.gatewayBaseURL();
    if (!baseURL)
        co_return std::nullopt;
    const auto session = co_await gatewaySession();
    if (!session)
        co_return std::nullopt;
    co_return VellupStructuredFormatterConfiguration{gatewayURL(*baseURL, u"api/proxy/format"),
                                                     m_configurationStore.vellupFormatterModel(),
                                                     QString(), QString(), session->accessToken};
}

QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
GatewaySessionService::historyExtractorConfiguration() {
    auto configuration = co_await formatterConfiguration();
    if (configuration)
        configuration->model = m_configurationStore.vellupFormatterModel();
    co_return configuration;
}

QCoro::Task<std::optional<GatewayLexiconSyncConfiguration>>
GatewaySessionService::lexiconSyncConfiguration() {
    const auto baseURL = m_configurationStore.gatewayBaseURL();
    if (!baseURL)
        co_return std::nullopt;
    const auto session = co_await gatewaySession();
    if (!session)
        co_return std::nullopt;
    co_return GatewayLexiconSyncConfiguration{gatewayURL(*baseURL, u"api/proxy/lexicon-sync"),
                                              session->accessToken};
}

QCoro::Task<void> GatewaySessionService::invalidateGatewaySession() {
    clearValidationState();
    try {
        co_await clearStoredSession();
    } catch (...) {
        // The next request replaces whatever is left.
    }
}

void GatewaySessionService::setOnSessionKeptInMemory(std::function<void()> notice) {
    m_keychainStore.setOnKeptInMemory(std::move(notice));
}

void GatewaySessionService::abandon() {
    m_keychainStore.abandon();
}

// The keychain's arguments are named values: GCC 12 mishandles some
// temporaries that live across a suspension.

QCoro::Task<std::optional<GatewaySession>> GatewaySessionService::loadStoredSession() {
    const QString account = QLatin1String(sessionKey);
    const std::optional<QByteArray> data = co_await m_keychainStore.loadData(account);
    if (!data)
        co_return std::nullopt;
    const auto object = json::parseObject(*data);
    const auto session = object ? GatewaySession::fromJson(*object) : std::nullopt;
    if (!session) {
        // An item nobody can read would block every gateway call until
        // removed by hand; drop it and let the device register again.
        try {
            co_await clearStoredSession();
        } catch (...) {
        }
        co_return std::nullopt;
    }
    co_return session;
}

QCoro::Task<void> GatewaySessionService::storeSession(GatewaySession session) {
    const QString account = QLatin1String(sessionKey);
    QByteArray data = session.toCompactJson();
    co_await m_keychainStore.saveData(std::move(data), account);
}

QCoro::Task<void> GatewaySessionService::clearStoredSession() {
    const QString account = QLatin1String(sessionKey);
    co_await m_keychainStore.deleteItem(account);
}

QCoro::Task<QString> GatewaySessionService::loadOrCreateDeviceID() {
    const QString account = QLatin1String(deviceIDKey);
    const std::optional<QByteArray> data = co_await m_keychainStore.loadData(account);
    if (data) {
        const auto text = textkit::decodeUtf8Strict(*data);
        if (text && !textkit::isBlank(*text))
            co_return *text;
    }
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    QByteArray bytes = created.toUtf8();
    co_await m_keychainStore.saveData(std::move(bytes), account);
    co_return created;
}

GatewaySessionService::AppMetadata GatewaySessionService::appMetadata() const {
    const QVariantMap info = m_bundle.infoDictionary();
    return AppMetadata{
        stringOr(info, QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0.0")),
        stringOr(info, QStringLiteral("CFBundleVersion"), QStringLiteral("1")),
        QSysInfo::prettyProductName(), m_configurationStore.preferredLocaleIdentifier()};
}

bool GatewaySessionService::isValidated(const GatewaySession &session, const QUrl &baseURL) const {
    return m_validatedSessionID && *m_validatedSessionID == session.sessionID &&
           m_validatedGatewayBaseURL &&
           *m_validatedGatewayBaseURL == baseURL.toString(QUrl::FullyEncoded);
}

void GatewaySessionService::markValidated(const GatewaySession &session, const QUrl &baseURL) {
    m_validatedSessionID = session.sessionID;
    m_validatedGatewayBaseURL = baseURL.toString(QUrl::FullyEncoded);
}

void GatewaySessionService::clearValidationState() {
    m_validatedSessionID.reset();
    m_validatedGatewayBaseURL.reset();
}

} // namespace tovalit
