// Natural-mode formatting of a recognised text, and the focused
// application's context that formatting and delivery share.

#include "services/settings/app_configuration_store.h"
#include "services/settings/tovalit_debug_logger.h"
#include "services/text_processing/natural_mode_prompt_catalog.h"
#include "state/session/dictation_delivery.h"
#include "state/session/dictation_delivery_host.h"
#include "state/shared/floating_panel_coordinating.h"
#include "state/shared/gateway_session_recovery.h"
#include "support/textkit.h"

#include <QPointer>

namespace tovalit {

namespace {

constexpr qsizetype transcriptPreviewLimit = 240;
constexpr qsizetype contextPreviewLimit = 120;

QString preview(const std::optional<QString> &text, qsizetype limit) {
    return TovalitDebugLogger::preview(text, limit);
}

// " | profile=… | before=… | selected=… | after=…" of a context, as the
// request and delivery lines write it.
QString contextFields(const std::optional<NaturalFormattingContext> &context) {
    if (!context) {
        return QStringLiteral(" | profile=<nil> | before=<nil> | selected=<nil> | after=<nil>");
    }
    return QStringLiteral(" | profile=") + context->appProfileID + QStringLiteral(" | before=") +
           preview(context->surroundingTextBeforeCursor, contextPreviewLimit) +
           QStringLiteral(" | selected=") + preview(context->selectedText, contextPreviewLimit) +
           QStringLiteral(" | after=") +
           preview(context->surroundingTextAfterCursor, contextPreviewLimit);
}

} // namespace

QString DictationDelivery::describeForLog(const QString &text,
                                          const std::optional<ActiveInteractionContext> &context) {
    std::optional<NaturalFormattingContext> natural;
    if (context)
        natural = context->naturalFormattingContext;
    return preview(text, transcriptPreviewLimit) + contextFields(natural);
}

QCoro::Task<FormattedText>
DictationDelivery::formatTranscript(QString transcript, NaturalModeStage stage,
                                    HUDPresentationMode hudPresentation) {
    const QString trimmed = textkit::trimmed(transcript);
    if (trimmed.isEmpty())
        co_return FormattedText{QString(), std::nullopt};
    if (hudPresentation == HUDPresentationMode::standard)
        m_floatingPanelCoordinator->showThinking(QStringLiteral("整理中"), QString());

    // The application may quit while the context is read or the model
    // answers; the caller, gone too, has no use for the text then.
    const QPointer<DictationDelivery> self(this);
    const std::optional<ActiveInteractionContext> context =
        co_await captureInteractionContextIfNeeded();
    if (!self)
        co_return FormattedText{trimmed, std::nullopt};
    std::optional<NaturalFormattingContext> naturalContext;
    if (context)
        naturalContext = context->naturalFormattingContext;
    const QString stageLabel = stage.rawValue();
    TovalitDebugLogger::log(
        QStringLiteral("format.request"), [stageLabel, trimmed, context]() -> QString {
            return QStringLiteral("stage=") + stageLabel + QStringLiteral(" | transcript=") +
                   describeForLog(trimmed, context);
        });

    // The configuration of the last attempt, for the failure note: a retry
    // after a gateway recovery replaces it.
    auto usedConfiguration =
        std::make_shared<std::optional<VellupStructuredFormatterConfiguration>>();
    const StructuredFormattingTask task = StructuredFormattingTask::natural(stage, naturalContext);
    FormatterOperation<QString> operation = [this, usedConfiguration, trimmed,
                                             task](VellupStructuredFormatterConfiguration c) {
        *usedConfiguration = c;
        return m_structuredFormattingRunner(trimmed, task, std::move(c));
    };
    FormatterResult<QString> formatted;
    std::exception_ptr failure;
    try {
        formatted = co_await m_gatewayRecovery.performFormatterOperation(std::move(operation));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return FormattedText{trimmed, std::nullopt};

    if (failure) {
        co_return FormattedText{cleanedOrTrimmed(trimmed),
                                QStringLiteral("整理失败（") +
                                    describeFormatterTarget(*usedConfiguration) +
                                    QStringLiteral("），已退回基础文本清洗：") +
                                    m_gatewayRecovery.presentableFailureMessage(failure)};
    }
    if (!formatted) {
        co_return FormattedText{cleanedOrTrimmed(trimmed),
                                QStringLiteral("整理配置不可用，已退回基础文本清洗")};
    }

    const QString answer = formatted->value;
    TovalitDebugLogger::log(QStringLiteral("format.response"), [stageLabel, answer]() -> QString {
        return QStringLiteral("stage=") + stageLabel + QStringLiteral(" | text=") +
               preview(answer, transcriptPreviewLimit);
    });
    m_host.setEngineStatusNote(QStringLiteral("当前使用Vellup ASR 2.0 + 自然模式（") +
                               stage.label() + QStringLiteral("）"));

    // Natural mode keeps the shape of what was said: an answer shaped like
    // minutes or a template is not trusted.
    const bool rejected =
        NaturalModePromptCatalog::containsDisallowedTemplateHeading(answer) ||
        NaturalModePromptCatalog::isOverStructuredForNaturalMode(
            trimmed, answer, naturalContext ? naturalContext->appProfileID : QString());
    if (!rejected)
        co_return FormattedText{answer, std::nullopt};

    const QString fallback = cleanedOrTrimmed(trimmed);
    TovalitDebugLogger::log(QStringLiteral("format.fallback"), [fallback]() -> QString {
        return QStringLiteral("reason=over_structured | final=") +
               preview(fallback, transcriptPreviewLimit);
    });
    co_return FormattedText{fallback, QStringLiteral("整理结果偏纪要化，已回退为自然文本清洗")};
}

QString DictationDelivery::cleanedOrTrimmed(const QString &trimmed) const {
    const QString cleaned = m_cleanupService.clean(trimmed);
    return cleaned.isEmpty() ? trimmed : cleaned;
}

QString DictationDelivery::describeFormatterTarget(
    const std::optional<VellupStructuredFormatterConfiguration> &used) const {
    QString host = QStringLiteral("unknown");
    QString model = m_configurationStore.vellupFormatterModel();
    if (used) {
        host = used->chatURL.host().isEmpty() ? used->chatURL.toString() : used->chatURL.host();
        model = used->model;
    }
    return QStringLiteral("host: ") + host + QStringLiteral(", model: ") + model;
}

void DictationDelivery::setInteractionContext(std::optional<ActiveInteractionContext> context) {
    m_activeInteractionContext = std::move(context);
}

void DictationDelivery::resetInteractionContext() {
    m_activeInteractionContext.reset();
}

QCoro::Task<std::optional<ActiveInteractionContext>>
DictationDelivery::captureInteractionContextIfNeeded() {
    const QPointer<DictationDelivery> self(this);
    // Free, the lock is taken at once; held, the start's read ends first.
    const std::shared_ptr<AsyncMutex> capturing = m_contextCapture;
    const AsyncMutex::Guard oneRead = co_await capturing->lock();
    if (!self)
        co_return std::nullopt;
    if (m_activeInteractionContext) {
        TovalitDebugLogger::log(
            QStringLiteral("context"),
            QStringLiteral("using cached context | profile=") +
                m_activeInteractionContext->naturalFormattingContext.appProfileID);
        // A copy: QCoro's return_value moves from whatever lvalue it is given.
        std::optional<ActiveInteractionContext> cached = m_activeInteractionContext;
        co_return cached;
    }
    std::optional<ActiveInteractionContext> context = co_await m_interactionContextProvider();
    if (!self)
        co_return std::nullopt;
    if (context) {
        m_activeInteractionContext = context;
        TovalitDebugLogger::log(QStringLiteral("context"),
                                QStringLiteral("recaptured context | profile=") +
                                    context->naturalFormattingContext.appProfileID);
    }
    co_return context;
}

} // namespace tovalit
