#pragma once

#include "models/vellup_speech_configuration.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "support/cancel_token.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace tovalit {

class AppConfigurationStore;
class GatewaySessionProviding;

// Where recognition and language-model calls get their configuration, and
// the one recovery of a gateway session that the gateway turned down. The
// dictation, the meeting, the lexicon's sync and learning and the
// instructions all call through it.
class GatewaySessionRecovery {
public:
    template <typename Value, typename Configuration>
    struct RecoveredValue {
        Value value;
        Configuration configuration;
    };
    // Callers build these as named objects and move them in: GCC 12
    // destroys a lambda temporary of a co_await expression twice.
    template <typename Value>
    using SpeechOperation = std::function<QCoro::Task<Value>(VellupSpeechConfiguration)>;
    template <typename Value>
    using FormatterOperation =
        std::function<QCoro::Task<Value>(VellupStructuredFormatterConfiguration)>;
    template <typename Value>
    using SpeechResult = std::optional<RecoveredValue<Value, VellupSpeechConfiguration>>;
    template <typename Value>
    using FormatterResult =
        std::optional<RecoveredValue<Value, VellupStructuredFormatterConfiguration>>;

    GatewaySessionRecovery(AppConfigurationStore &configurationStore,
                           std::shared_ptr<GatewaySessionProviding> sessionService);
    ~GatewaySessionRecovery();
    GatewaySessionRecovery(const GatewaySessionRecovery &) = delete;
    GatewaySessionRecovery &operator=(const GatewaySessionRecovery &) = delete;

    GatewaySessionProviding &sessionService() const { return *m_sessionService; }
    bool isGatewayConfigured() const;
    // Nothing also when the recovery is destroyed while the gateway answers.
    QCoro::Task<std::optional<VellupSpeechConfiguration>> resolveSpeechConfiguration();
    QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    resolveFormatterConfiguration();

    // Resolve, run; on a failure that points at the gateway session,
    // forget the session and go round once more. Nothing when no
    // configuration is set up, and nothing when the recovery is destroyed
    // during one of its waits (the caller's operation is then never run, or
    // its outcome dropped). The value types are instantiated in the
    // source; another caller adds its type there.
    template <typename Value>
    QCoro::Task<SpeechResult<Value>> performSpeechOperation(SpeechOperation<Value> operation);
    template <typename Value>
    QCoro::Task<FormatterResult<Value>>
    performFormatterOperation(FormatterOperation<Value> operation);

    // The user-facing text of a failed call; through the gateway, a failure
    // that still points at its session says the recovery did not help.
    QString presentableFailureMessage(std::exception_ptr error) const;

    // Whether a failed gateway-routed call should forget the session and
    // try once more.
    static bool shouldRecoverGatewaySession(bool usingGateway, std::exception_ptr error);
    static bool gatewaySessionFailureMessageContainsInvalidToken(const QString &message);

private:
    template <typename Configuration, typename Value>
    QCoro::Task<std::optional<RecoveredValue<Value, Configuration>>>
    performWithGatewayRecovery(std::function<QCoro::Task<Value>(Configuration)> operation);

    AppConfigurationStore &m_configurationStore;
    std::shared_ptr<GatewaySessionProviding> m_sessionService;
    // Cancelled when the recovery goes. Its owner may go while the gateway
    // answers (the application quitting), and with it everything a wait
    // would go on to touch: each wait checks a copy of it.
    CancelToken m_lifetime;
};

} // namespace tovalit
