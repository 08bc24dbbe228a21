#include "services/text_processing/vellup_structured_formatter.h"

#include "services/text_processing/chat_completions_envelope.h"
#include "services/text_processing/natural_mode_prompt_catalog.h"
#include "support/json_text.h"
#include "support/network_http_transport.h"
#include "support/textkit.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QThread>
#include <QThreadStorage>

namespace tovalit {

namespace {

QJsonObject naturalUserPayload(const QString &transcript, const NaturalFormattingContext &context) {
    // Absent context texts go out as "", so the model always sees the same
    // twenty members.
    const auto text = [](const std::optional<QString> &value) { return value.value_or(QString()); };
    return QJsonObject{
        {QStringLiteral("transcript"), transcript},
        {QStringLiteral("app_name"), context.appName},
        {QStringLiteral("bundle_id"), context.appBundleID},
        {QStringLiteral("brand_key"), context.brandKey},
        {QStringLiteral("app_profile_id"), context.appProfileID},
        {QStringLiteral("app_category"), context.appCategory},
        {QStringLiteral("audience_hint"), context.audienceHint},
        {QStringLiteral("output_intent"), context.outputIntent},
        {QStringLiteral("style_guide"), context.styleGuide},
        {QStringLiteral("terminology_hints"), context.terminologyHints},
        {QStringLiteral("template_hints"), context.templateHints},
        {QStringLiteral("screenshot_ocr"), text(context.screenshotOCR)},
        {QStringLiteral("selected_text"), text(context.selectedText)},
        {QStringLiteral("surrounding_text_before_cursor"),
         text(context.surroundingTextBeforeCursor)},
        {QStringLiteral("surrounding_text_after_cursor"), text(context.surroundingTextAfterCursor)},
        {QStringLiteral("focused_element_role"), text(context.focusedElementRole)},
        {QStringLiteral("focused_element_description"), text(context.focusedElementDescription)},
        {QStringLiteral("caret_rect"), text(context.caretRect)},
        {QStringLiteral("caret_area_ocr"), text(context.caretAreaOCR)},
        {QStringLiteral("window_title"), text(context.windowTitle)},
    };
}

QJsonObject meetingTickPayload(const QString &transcript,
                               const StructuredFormattingTask::MeetingIncremental &tick) {
    return QJsonObject{
        {QStringLiteral("tick_index"), tick.tickIndex},
        {QStringLiteral("range_label"), tick.rangeLabel},
        {QStringLiteral("previous_stages"), QJsonArray::fromStringList(tick.previousStages)},
        {QStringLiteral("current_stage_title"), tick.currentStageTitle},
        {QStringLiteral("current_stage_outline"), tick.currentStageOutline},
        {QStringLiteral("current_stage_modules"),
         QJsonArray::fromStringList(tick.currentStageModules)},
        {QStringLiteral("current_stage_text_module_count"), tick.currentStageTextModuleCount},
        {QStringLiteral("recent_context"), tick.recentContext},
        {QStringLiteral("pending_seconds"), tick.pendingSeconds},
        {QStringLiteral("must_decide"), tick.mustDecide},
        {QStringLiteral("must_land_stage"), tick.mustLandStage},
        {QStringLiteral("speaker_hints"), QJsonArray::fromStringList(tick.speakerHints)},
        {QStringLiteral("current_window"), transcript},
    };
}

QString serializeUserPayload(const QJsonObject &payload) {
    auto text = textkit::decodeUtf8Strict(json::pretty(payload));
    if (!text)
        throw VellupStructuredFormatterError::invalidRequest();
    // The writer ends its output with a line break that means nothing to the
    // model.
    if (text->endsWith(u'\n'))
        text->chop(1);
    return *text;
}

} // namespace

VellupStructuredFormatter::VellupStructuredFormatter(
    VellupStructuredFormatterConfiguration configuration, std::shared_ptr<HttpTransport> transport)
    : m_configuration(std::move(configuration))
    , m_transport(transport ? std::move(transport) : liveTransport()) {}

std::shared_ptr<HttpTransport> VellupStructuredFormatter::liveTransport() {
    static QThreadStorage<std::shared_ptr<HttpTransport>> perThread;
    if (!perThread.hasLocalData()) {
        perThread.setLocalData(std::make_shared<NetworkHttpTransport>());
        // Qt drops the main thread's entry only late in the application
        // object's destruction, when part of what the network manager holds
        // can no longer be cleaned up and stays allocated. Released among the
        // post routines, while the application object is still whole, it all
        // goes.
        const QCoreApplication *application = QCoreApplication::instance();
        if (application && QThread::currentThread() == application->thread())
            qAddPostRoutine([] { perThread.setLocalData({}); });
    }
    if (!perThread.localData())
        perThread.setLocalData(std::make_shared<NetworkHttpTransport>());
    return perThread.localData();
}

QCoro::Task<QString> VellupStructuredFormatter::format(QString transcript,
                                                       StructuredFormattingTask task) const {
    // Everything the request needs is copied into the coroutine, so a
    // formatter made for one call may be a temporary.
    return run(m_configuration, m_transport, std::move(transcript), std::move(task));
}

QCoro::Task<QString>
VellupStructuredFormatter::run(VellupStructuredFormatterConfiguration configuration,
                               std::shared_ptr<HttpTransport> transport, QString transcript,
                               StructuredFormattingTask task) {
    const QString trimmedTranscript = textkit::trimmed(transcript);
    if (trimmedTranscript.isEmpty())
        co_return QString();

    // The "{" prefill steers the model straight into the requested object;
    // minutes are Markdown and get none.
    std::optional<QString> prefill;
    if (!task.returnsRawMarkdown())
        prefill = QStringLiteral("{");

    const QString content = co_await requestStructuredContent(
        std::move(configuration), std::move(transport), trimmedTranscript, task, prefill);
    if (task.returnsRawMarkdown())
        co_return textkit::trimmed(content);
    co_return renderStructuredContent(textkit::trimmed(content), trimmedTranscript);
}

QCoro::Task<QString> VellupStructuredFormatter::requestStructuredContent(
    VellupStructuredFormatterConfiguration configuration, std::shared_ptr<HttpTransport> transport,
    QString transcript, StructuredFormattingTask task, std::optional<QString> prefill) {
    HttpRequest request = buildRequest(configuration, transcript, task, prefill);
    const HttpResponse response = co_await transport->send(std::move(request));
    if (!response.isSuccess()) {
        throw VellupStructuredFormatterError::serverError(
            response.status, ChatCompletionsEnvelope::serverMessage(response.body));
    }
    co_return extractAssistantContent(response.body);
}

HttpRequest VellupStructuredFormatter::buildRequest(
    const VellupStructuredFormatterConfiguration &configuration, const QString &transcript,
    const StructuredFormattingTask &task, const std::optional<QString> &prefill) {
    return ChatCompletionsEnvelope::buildRequest(
        configuration, buildRequestBody(configuration, transcript, task, prefill));
}

QJsonObject VellupStructuredFormatter::buildRequestBody(
    const VellupStructuredFormatterConfiguration &configuration, const QString &transcript,
    const StructuredFormattingTask &task, const std::optional<QString> &prefill) {
    // The model is sent as configured (even blank); only an empty one cannot
    // make a request.
    if (configuration.model.isEmpty())
        throw VellupStructuredFormatterError::invalidRequest();

    QJsonArray messages{
        ChatCompletionsEnvelope::message(QStringLiteral("system"),
                                         NaturalModePromptCatalog::systemPrompt(task)),
        ChatCompletionsEnvelope::message(QStringLiteral("user"),
                                         buildUserContent(transcript, task)),
    };
    if (prefill && !textkit::isBlank(*prefill))
        messages.append(ChatCompletionsEnvelope::message(QStringLiteral("assistant"), *prefill));

    return ChatCompletionsEnvelope::buildBody(configuration.model, messages, 0.0, task.maxTokens(),
                                              task.thinkingPayload());
}

QString VellupStructuredFormatter::buildUserContent(const QString &transcript,
                                                    const StructuredFormattingTask &task) {
    if (const auto *natural = task.asNatural(); natural && natural->context)
        return serializeUserPayload(naturalUserPayload(transcript, *natural->context));
    if (const auto *tick = task.asMeetingIncremental())
        return serializeUserPayload(meetingTickPayload(transcript, *tick));
    return transcript;
}

QString VellupStructuredFormatter::extractAssistantContent(QByteArrayView body) {
    const auto text = ChatCompletionsEnvelope::assistantContent(body);
    if (!text)
        throw VellupStructuredFormatterError::invalidResponse();
    if (text->isEmpty())
        throw VellupStructuredFormatterError::emptyContent();
    return *text;
}

} // namespace tovalit
