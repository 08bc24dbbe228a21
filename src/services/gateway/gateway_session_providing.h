#pragma once

#include "models/gateway_lexicon_sync_configuration.h"
#include "models/vellup_speech_configuration.h"
#include "models/vellup_structured_formatter_configuration.h"
#include "services/gateway/gateway_session.h"

#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

namespace tovalit {

// A valid gateway session and the gateway-routed configurations built from
// it; every result is absent when no gateway is configured.
class GatewaySessionProviding {
public:
    virtual ~GatewaySessionProviding() = default;

    virtual bool isAvailable() const = 0;
    virtual QCoro::Task<std::optional<GatewaySession>> gatewaySession() = 0;
    virtual QCoro::Task<std::optional<VellupSpeechConfiguration>>
    speechConfiguration(QString localeIdentifier) = 0;
    virtual QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    formatterConfiguration() = 0;
    virtual QCoro::Task<std::optional<VellupStructuredFormatterConfiguration>>
    historyExtractorConfiguration() = 0;
    virtual QCoro::Task<std::optional<GatewayLexiconSyncConfiguration>>
    lexiconSyncConfiguration() = 0;
    // Forgets the session; never fails.
    virtual QCoro::Task<void> invalidateGatewaySession() = 0;

    // `notice` is called once, on the GUI thread, if this desktop turns out
    // to have no keyring: the session then lives in memory until the
    // application quits, and the next start signs in anew.
    virtual void setOnSessionKeptInMemory(std::function<void()>) {}

    // The owner goes, though work in flight may still hold the provider:
    // from now on nothing the provider awaits resumes its caller, so none
    // carries on with settings that went with the owner.
    virtual void abandon() {}
};

} // namespace tovalit
