#pragma once

#include "services/gateway/gateway_session_providing.h"
#include "services/security/keychain_store.h"
#include "support/clock.h"

#include <functional>
#include <memory>

namespace tovalit {

class AppConfigurationStore;
class BundleValues;
class GatewayClient;

// Decides on every request whether the keychain's session can be used as
// it is, must be refreshed, or must be replaced by registering the device;
// remembers for this process only which session the gateway accepted for
// which address. Lives on the GUI thread; calls are not coalesced, so two
// overlapping calls may each refresh or register.
class GatewaySessionService final : public GatewaySessionProviding {
public:
    using ClientFactory = std::function<std::shared_ptr<GatewayClient>(const QUrl &baseURL)>;

    // `configurationStore` must outlive the service; a null bundle means
    // the main bundle.
    GatewaySessionService(AppConfigurationStore &configurationStore, KeychainStore keychainStore,
                          const BundleValues *bundle = nullptr, Clock currentDate = systemClock(),
                          ClientFactory clientFactory = defaultClientFactory());

    // Clients over one shared network transport, created on first use on
    // the calling thread.
    static ClientFactory defaultClientFactory();

    bool isAvailable() const override;
    QCoro::Task<std::optional<GatewaySession>> gatewaySession() override;
    QCoro::Task<std::optional<VellupSpeechConfiguration>>
    speechConfiguration(QString localeIdentifier) override;
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    formatterConfiguration() override;
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    historyExtractorConfiguration() override;
    QCoro::Task<std::optional<GatewayLexiconSyncConfiguration>> lexiconSyncConfiguration() override;
    QCoro::Task<void> invalidateGatewaySession() override;
    void setOnSessionKeptInMemory(std::function<void()> notice) override;
    // Every way to a result passes the keyring, so giving it up is enough.
    void abandon() override;

    static constexpr const char *sessionKey = "gateway.session";
    static constexpr const char *deviceIDKey = "gateway.device-id";

private:
    struct AppMetadata {
        QString appVersion;
        QString buildNumber;
        QString platformVersion;
        QString locale;
    };

    QCoro::Task<std::optional<GatewaySession>> loadStoredSession();
    QCoro::Task<void> storeSession(GatewaySession session);
    QCoro::Task<void> clearStoredSession();
    QCoro::Task<QString> loadOrCreateDeviceID();
    AppMetadata appMetadata() const;
    bool isValidated(const GatewaySession &session, const QUrl &baseURL) const;
    void markValidated(const GatewaySession &session, const QUrl &baseURL);
    void clearValidationState();

    AppConfigurationStore &m_configurationStore;
    KeychainStore m_keychainStore;
    const BundleValues &m_bundle;
    Clock m_currentDate;
    ClientFactory m_clientFactory;
    std::optional<QString> m_validatedSessionID;
    std::optional<QString> m_validatedGatewayBaseURL;
};

} // namespace tovalit
