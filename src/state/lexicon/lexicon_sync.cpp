// Keeping the speech service's hot-word and correction tables in step with
// the lexicon: through the gateway when one is in use, else directly, with
// one renewal of a gateway session the gateway turned down.

#include "services/gateway/gateway_session_providing.h"
#include "services/learning/volcengine_speech_lexicon_sync_error.h"
#include "services/learning/volcengine_speech_lexicon_sync_service.h"
#include "services/settings/app_configuration_store.h"
#include "services/text_processing/vellup_structured_formatter.h"
#include "state/lexicon/lexicon_keeper.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/textkit.h"

namespace tovalit {

QCoro::Task<VolcengineSpeechLexiconSyncService> LexiconKeeper::resolveLexiconSyncService() {
    // Read before the wait, so the service never needs the keeper.
    const std::optional<VolcengineSpeechOpenAPIConfiguration> openAPI =
        m_configurationStore.volcengineSpeechOpenAPIConfiguration();
    const QString openAPIHost = m_configurationStore.volcengineOpenAPIHost();
    std::optional<GatewayLexiconSyncConfiguration> gatewayConfiguration;
    if (m_gatewayRecovery.isGatewayConfigured()) {
        const std::shared_ptr<GatewaySessionProviding> gateway = m_gatewaySessionService;
        try {
            gatewayConfiguration = co_await gateway->lexiconSyncConfiguration();
        } catch (...) {
            // Without a session the sync takes the direct route, which
            // reports missing credentials in the lexicon's own state.
        }
    }
    co_return VolcengineSpeechLexiconSyncService(
        openAPI, gatewayConfiguration, VellupStructuredFormatter::liveTransport(), openAPIHost);
}

QCoro::Task<PersonalLexiconSnapshot>
LexiconKeeper::syncPersonalLexiconSnapshotWithGatewayRecovery(PersonalLexiconSnapshot snapshot) {
    const QPointer<LexiconKeeper> alive(this);
    const std::shared_ptr<GatewaySessionProviding> gateway = m_gatewaySessionService;
    bool didRenew = false;
    for (;;) {
        // A new service per attempt, so a renewed session brings its own
        // endpoint and token.
        const QString speechAppID = m_configurationStore.vellupAppID();
        const VolcengineSpeechLexiconSyncService service = co_await resolveLexiconSyncService();
        PersonalLexiconSnapshot synced = co_await service.sync(snapshot, speechAppID);
        if (!alive)
            co_return synced;
        // The sync never throws: a rejected session shows only in the
        // message it stored, a dropped socket in the words it is told in.
        const std::optional<QString> &message = synced.cloudState.lastErrorMessage;
        const bool sessionRejected =
            message && !textkit::isBlank(*message) &&
            (GatewaySessionRecovery::gatewaySessionFailureMessageContainsInvalidToken(*message) ||
             *message == lexiconSyncConnectionLostMessage());
        if (didRenew || !m_gatewayRecovery.isGatewayConfigured() || !sessionRejected)
            co_return synced;
        co_await gateway->invalidateGatewaySession();
        if (!alive)
            co_return synced;
        didRenew = true;
    }
}

} // namespace tovalit
