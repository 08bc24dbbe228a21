// The spoken instruction at the start of a dictation: run a stored one on
// the rest of it, or hand a request for a new one over to its creation.

#include "services/instructions/instruction_intent_recognizer.h"
#include "services/instructions/instruction_library_ai_service.h"
#include "state/instructions/instruction_library_keeper.h"
#include "state/instructions/instruction_library_keeper_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/app_error.h"
#include "support/textkit.h"

#include <QPointer>

namespace tovalit {

QCoro::Task<InstructionRoutingResult> InstructionLibraryKeeper::routeIfNeeded(QString transcript) {
    const QString trimmed = textkit::trimmed(transcript);
    if (trimmed.isEmpty())
        co_return InstructionRoutingResult::notRouted();
    const InstructionIntentMatch intent =
        InstructionIntentRecognizer::resolveIntent(trimmed, allEntries());
    switch (intent.kind()) {
    case InstructionIntentMatch::Kind::create:
        co_return co_await createInstructionFromVoice(intent.description());
    case InstructionIntentMatch::Kind::run:
        co_return co_await executeInstruction(intent.asRun()->entry, intent.asRun()->input);
    case InstructionIntentMatch::Kind::none:
        break;
    }
    co_return InstructionRoutingResult::notRouted();
}

QCoro::Task<InstructionRoutingResult>
InstructionLibraryKeeper::executeInstruction(InstructionLibraryEntry entry, QString input) {
    const QString trimmed = textkit::trimmed(input);
    if (trimmed.isEmpty())
        co_return InstructionRoutingResult::notRouted();
    m_floatingPanelCoordinator->showThinking(QStringLiteral("执行指令中"), QString());
    const QString quotedTitle = QStringLiteral("指令“") + entry.title;

    // The application may quit while the model is asked: the dictation
    // that asked is gone too, and nothing is left to route.
    const QPointer<InstructionLibraryKeeper> self(this);
    // One attempt: instructions run without a gateway session recovery.
    std::optional<VellupStructuredFormatterConfiguration> configuration;
    std::exception_ptr failure;
    try {
        configuration = co_await m_gatewayRecovery.resolveFormatterConfiguration();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return InstructionRoutingResult::notRouted();
    if (failure) {
        co_return InstructionRoutingResult::executed(
            m_host.cleanedOrTrimmed(trimmed),
            quotedTitle + QStringLiteral("”会话不可用，已回退基础整理：") + describeError(failure));
    }
    if (!configuration) {
        co_return InstructionRoutingResult::executed(
            m_host.cleanedOrTrimmed(trimmed),
            quotedTitle + QStringLiteral("”配置不可用，已回退基础整理"));
    }

    QString output;
    try {
        output = co_await InstructionLibraryAIService(*configuration).execute(entry, trimmed);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return InstructionRoutingResult::notRouted();
    if (failure) {
        co_return InstructionRoutingResult::executed(
            m_host.cleanedOrTrimmed(trimmed),
            quotedTitle + QStringLiteral("”执行失败，已回退基础整理：") + describeError(failure));
    }
    co_return InstructionRoutingResult::executed(output,
                                                 QStringLiteral("已使用指令：") + entry.title);
}

} // namespace tovalit
