#include "state/shared/gateway_session_recovery.h"

#include "services/gateway/gateway_client_error.h"
#include "services/gateway/gateway_session_providing.h"
#include "services/learning/lexicon_learning_ai_analysis.h"
#include "services/learning/lexicon_learning_ai_service_error.h"
#include "services/learning/volcengine_speech_lexicon_sync_error.h"
#include "services/settings/app_configuration_store.h"
#include "services/speech/live_transcriber.h"
#include "services/speech/vellup_audio_file_transcriber_error.h"
#include "services/text_processing/vellup_structured_formatter_error.h"
#include "support/app_error.h"

#include <type_traits>

namespace tovalit {

namespace {

// A server's own answer decides by its status and message; the
// description would also carry our wording around them.
bool statusOrMessageNeedsRecovery(int status, const QString &message) {
    return status == 401 ||
           GatewaySessionRecovery::gatewaySessionFailureMessageContainsInvalidToken(message);
}

} // namespace

GatewaySessionRecovery::GatewaySessionRecovery(
    AppConfigurationStore &configurationStore,
    std::shared_ptr<GatewaySessionProviding> sessionService)
    : m_configurationStore(configurationStore)
    , m_sessionService(std::move(sessionService)) {}

GatewaySessionRecovery::~GatewaySessionRecovery() {
    m_lifetime.cancel();
}

bool GatewaySessionRecovery::isGatewayConfigured() const {
    return m_configurationStore.gatewayBaseURL().has_value();
}

QCoro::Task<std::optional<VellupSpeechConfiguration>>
GatewaySessionRecovery::resolveSpeechConfiguration() {
    if (!isGatewayConfigured())
        co_return m_configurationStore.vellupSpeechConfiguration();
    const CancelToken lifetime = m_lifetime;
    const std::shared_ptr<GatewaySessionProviding> service = m_sessionService;
    const QString locale = m_configurationStore.preferredLocaleIdentifier();
    std::optional<VellupSpeechConfiguration> routed;
    std::exception_ptr failure;
    try {
        routed = co_await service->speechConfiguration(locale);
    } catch (...) {
        failure = std::current_exception();
    }
    if (lifetime.isCancelled())
        co_return std::nullopt;
    if (failure) {
        // Direct credentials make a gateway outage invisible.
        if (auto direct = m_configurationStore.vellupSpeechConfiguration())
            co_return direct;
        std::rethrow_exception(failure);
    }
    if (routed)
        co_return routed;
    co_return m_configurationStore.vellupSpeechConfiguration();
}

QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
GatewaySessionRecovery::resolveFormatterConfiguration() {
    if (!isGatewayConfigured())
        co_return m_configurationStore.vellupStructuredFormatterConfiguration();
    const CancelToken lifetime = m_lifetime;
    const std::shared_ptr<GatewaySessionProviding> service = m_sessionService;
    std::optional<VellupStructuredFormatterConfiguration> routed;
    std::exception_ptr failure;
    try {
        routed = co_await service->formatterConfiguration();
    } catch (...) {
        failure = std::current_exception();
    }
    if (lifetime.isCancelled())
        co_return std::nullopt;
    if (failure) {
        if (auto direct = m_configurationStore.vellupStructuredFormatterConfiguration())
            co_return direct;
        std::rethrow_exception(failure);
    }
    if (routed)
        co_return routed;
    co_return m_configurationStore.vellupStructuredFormatterConfiguration();
}

QString GatewaySessionRecovery::presentableFailureMessage(std::exception_ptr error) const {
    const QString description = describeError(error);
    if (m_configurationStore.gatewayBaseURL() &&
        gatewaySessionFailureMessageContainsInvalidToken(description)) {
        return QStringLiteral("本地 Gateway 会话已自动重连但仍未恢复：") + description;
    }
    return description;
}

bool GatewaySessionRecovery::gatewaySessionFailureMessageContainsInvalidToken(
    const QString &message) {
    static const QStringList markers{
        QStringLiteral("invalid_token"),
        QStringLiteral("token is invalid"),
        QStringLiteral("authorization token is required"),
        QStringLiteral("socket is not connected"),
    };
    const QString lowered = message.toLower();
    for (const QString &marker : markers) {
        if (lowered.contains(marker))
            return true;
    }
    return false;
}

bool GatewaySessionRecovery::shouldRecoverGatewaySession(bool usingGateway,
                                                         std::exception_ptr error) {
    if (!usingGateway || !error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const GatewayClientError &e) {
        if (e.kind() == GatewayClientError::Kind::requestFailed)
            return statusOrMessageNeedsRecovery(e.status(), e.message());
        return gatewaySessionFailureMessageContainsInvalidToken(e.localizedDescription());
    } catch (const VellupStructuredFormatterError &e) {
        if (e.kind() == VellupStructuredFormatterError::Kind::serverError)
            return statusOrMessageNeedsRecovery(e.status(), e.message());
        return gatewaySessionFailureMessageContainsInvalidToken(e.localizedDescription());
    } catch (const VellupAudioFileTranscriberError &e) {
        if (e.kind() == VellupAudioFileTranscriberError::Kind::requestFailed)
            return statusOrMessageNeedsRecovery(e.statusCode(), e.message());
        return gatewaySessionFailureMessageContainsInvalidToken(e.localizedDescription());
    } catch (const LexiconLearningAIServiceError &e) {
        if (e.kind() == LexiconLearningAIServiceError::Kind::serverError)
            return statusOrMessageNeedsRecovery(e.status(), e.message());
        return gatewaySessionFailureMessageContainsInvalidToken(e.localizedDescription());
    } catch (const VolcengineSpeechLexiconSyncError &e) {
        if (e.kind() == VolcengineSpeechLexiconSyncError::Kind::requestFailed)
            return statusOrMessageNeedsRecovery(e.statusCode(), e.message());
        return gatewaySessionFailureMessageContainsInvalidToken(e.localizedDescription());
    } catch (...) {
        return gatewaySessionFailureMessageContainsInvalidToken(describeError(error));
    }
}

namespace {

bool routesThroughGateway(const VellupSpeechConfiguration &configuration) {
    return configuration.usesGateway();
}

bool routesThroughGateway(const VellupStructuredFormatterConfiguration &configuration) {
    return configuration.chatURL.path().contains(QStringLiteral("/api/proxy/"));
}

} // namespace

// Speech and formatter calls alike: resolve, run; on a failure that points at the gateway
// session, forget the session and go round once more. One flag serves
// both catch points, so a call recovers at most once, and whatever fails
// after that is passed on as it was raised.

template <typename Configuration, typename Value>
QCoro::Task<std::optional<GatewaySessionRecovery::RecoveredValue<Value, Configuration>>>
GatewaySessionRecovery::performWithGatewayRecovery(
    std::function<QCoro::Task<Value>(Configuration)> operation) {
    // The operation belongs to the recovery's owner, and goes with it.
    const CancelToken lifetime = m_lifetime;
    const std::shared_ptr<GatewaySessionProviding> service = m_sessionService;
    bool didRecover = false;
    for (;;) {
        std::optional<Configuration> configuration;
        std::exception_ptr failure;
        try {
            if constexpr (std::is_same_v<Configuration, VellupSpeechConfiguration>)
                configuration = co_await resolveSpeechConfiguration();
            else
                configuration = co_await resolveFormatterConfiguration();
        } catch (...) {
            failure = std::current_exception();
        }
        if (lifetime.isCancelled())
            co_return std::nullopt;
        if (failure) {
            if (didRecover || !shouldRecoverGatewaySession(isGatewayConfigured(), failure))
                std::rethrow_exception(failure);
            co_await service->invalidateGatewaySession();
            if (lifetime.isCancelled())
                co_return std::nullopt;
            didRecover = true;
            continue;
        }
        if (!configuration)
            co_return std::nullopt;
        try {
            Value value = co_await operation(*configuration);
            if (lifetime.isCancelled())
                co_return std::nullopt;
            co_return RecoveredValue<Value, Configuration>{std::move(value), *configuration};
        } catch (...) {
            failure = std::current_exception();
        }
        if (lifetime.isCancelled())
            co_return std::nullopt;
        if (didRecover ||
            !shouldRecoverGatewaySession(routesThroughGateway(*configuration), failure))
            std::rethrow_exception(failure);
        co_await service->invalidateGatewaySession();
        if (lifetime.isCancelled())
            co_return std::nullopt;
        didRecover = true;
    }
}

template <typename Value>
QCoro::Task<GatewaySessionRecovery::SpeechResult<Value>>
GatewaySessionRecovery::performSpeechOperation(SpeechOperation<Value> operation) {
    return performWithGatewayRecovery<VellupSpeechConfiguration, Value>(std::move(operation));
}

template <typename Value>
QCoro::Task<GatewaySessionRecovery::FormatterResult<Value>>
GatewaySessionRecovery::performFormatterOperation(FormatterOperation<Value> operation) {
    return performWithGatewayRecovery<VellupStructuredFormatterConfiguration, Value>(
        std::move(operation));
}

// The values the controller's calls produce; another caller adds its type
// here.
template QCoro::Task<GatewaySessionRecovery::SpeechResult<std::shared_ptr<LiveTranscriber>>>
    GatewaySessionRecovery::performSpeechOperation(
        SpeechOperation<std::shared_ptr<LiveTranscriber>>);
template QCoro::Task<GatewaySessionRecovery::SpeechResult<QString>>
    GatewaySessionRecovery::performSpeechOperation(SpeechOperation<QString>);
template QCoro::Task<GatewaySessionRecovery::FormatterResult<QString>>
    GatewaySessionRecovery::performFormatterOperation(FormatterOperation<QString>);
template QCoro::Task<GatewaySessionRecovery::FormatterResult<LexiconLearningAIAnalysis>>
    GatewaySessionRecovery::performFormatterOperation(
        FormatterOperation<LexiconLearningAIAnalysis>);

} // namespace tovalit
